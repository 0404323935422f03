#include "desktopparts.h"

#include "e2eharness.h"
#include "privatebus.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace
{
const char kPanelConfig[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="1"/>
      <property name="length-adjust" type="bool" value="true"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";
} // namespace

XfcePanel::XfcePanel(const PrivateBus &bus)
{
    const QString folder = bus.configHome() + QStringLiteral("/xfce4/xfconf/xfce-perchannel-xml");
    QDir().mkpath(folder);
    QFile config(folder + QStringLiteral("/xfce4-panel.xml"));
    if (!config.open(QIODevice::WriteOnly) || config.write(kPanelConfig) <= 0)
        return;
    config.close();
    QProcessEnvironment env = bus.environment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLocal8Bit(qgetenv("DISPLAY")));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(QDir(bus.configHome()).filePath(QStringLiteral("panel.log")));
    process_.start(QStringLiteral("xfce4-panel"), {QStringLiteral("--disable-wm-check")});
    if (!process_.waitForStarted(5000))
        return;
    window_ = x11::waitForWindow(QStringLiteral("^xfce4-panel$"), {}, 30000);
    ok_ = !window_.isEmpty();
}

XfcePanel::~XfcePanel()
{
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QRect XfcePanel::area() const
{
    return window_.isEmpty() ? QRect() : x11::geometry(window_);
}
