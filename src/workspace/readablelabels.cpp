#include "readablelabels.h"

#include <QEvent>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace
{

double luminance(QColor c)
{
    auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

QList<QColor> candidates(ReadableLabels::Kind kind)
{
    if (kind == ReadableLabels::Kind::Link) // blue as long as blue reads
        return {QColor(0x00, 0x00, 0xFF), QColor(0x00, 0x2A, 0x8C), QColor(0x9C, 0xCB, 0xFF),
                QColor(Qt::white)};
    return {QColor(0x1F, 0x2D, 0x3D), QColor(Qt::black), QColor(Qt::white)};
}

QColor blend(QColor over, double alpha, QRgb under)
{
    const auto mix = [alpha](int a, int b) {
        return int(std::lround(alpha * a + (1 - alpha) * b));
    };
    return QColor(mix(over.red(), qRed(under)), mix(over.green(), qGreen(under)),
                  mix(over.blue(), qBlue(under)));
}

// The lowest contrast of `text` against the pixels of `area`, seen through
// a plate of `alpha` (0: none).
double worstContrast(const QImage &picture, const QRect &area, QColor text, QColor plate = {},
                     double alpha = 0)
{
    double worst = 21;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb under = picture.pixel(x, y);
            const QColor behind = alpha > 0 ? blend(plate, alpha, under) : QColor(under);
            worst = std::min(worst, ReadableLabels::contrast(text, behind));
        }
    return worst;
}

} // namespace

ReadableLabels::ReadableLabels(QObject *parent) : QObject(parent) {}

double ReadableLabels::contrast(QColor a, QColor b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ReadableLabels::Look ReadableLabels::lookFor(const QImage &picture, const QRect &area, Kind kind)
{
    const QRect behind = area.intersected(picture.rect());
    const QList<QColor> colours = candidates(kind);
    if (behind.isEmpty())
        return {colours.first(), {}};
    // The first colour that reads well (7:1) everywhere, else the one that
    // reads best, as long as it reaches 4.5:1.
    QColor readsBest;
    double bestWorst = 0;
    for (const QColor &c : colours) {
        const double worst = worstContrast(picture, behind, c);
        if (worst >= kWell)
            return {c, {}};
        if (worst > bestWorst) {
            bestWorst = worst;
            readsBest = c;
        }
    }
    if (bestWorst >= kLeast)
        return {readsBest, {}};
    // No colour reads over all of it (a star or a line crosses it): the one
    // that reads best against the picture's middle tone there, on a plate.
    QList<QRgb> tones;
    for (int y = behind.top(); y <= behind.bottom(); ++y)
        for (int x = behind.left(); x <= behind.right(); ++x)
            tones.append(picture.pixel(x, y));
    std::nth_element(tones.begin(), tones.begin() + tones.size() / 2, tones.end(),
                     [](QRgb a, QRgb b) { return luminance(QColor(a)) < luminance(QColor(b)); });
    const QColor middle(tones.at(tones.size() / 2));
    QColor best = colours.first();
    for (const QColor &c : colours)
        if (contrast(c, middle) > contrast(best, middle))
            best = c;
    // The plate: light under dark text and dark under light text, just
    // opaque enough.
    const QColor plate = luminance(best) < 0.2 ? QColor(Qt::white) : QColor(0x10, 0x14, 0x2C);
    for (double alpha = 0.3; alpha < 1.0; alpha += 0.05)
        if (worstContrast(picture, behind, best, plate, alpha) >= kLeast) {
            QColor shown = plate;
            shown.setAlphaF(float(alpha));
            return {best, shown};
        }
    return {best, plate};
}

void ReadableLabels::watch(QLabel *label, Kind kind)
{
    labels_.append({label, kind});
    label->installEventFilter(this);
    restyle(labels_.last());
}

void ReadableLabels::setPicture(const QImage &picture)
{
    picture_ = picture.convertToFormat(QImage::Format_RGB32);
    for (const Watched &w : labels_)
        restyle(w);
}

void ReadableLabels::restyle(const Watched &watched) const
{
    const QString sheet = sheetFor(watched);
    if (watched.label->styleSheet() != sheet)
        watched.label->setStyleSheet(sheet);
}

QString ReadableLabels::sheetFor(const Watched &watched) const
{
    if (picture_.isNull())
        return watched.kind == Kind::Link ? QStringLiteral("color: #0000FF;") : QString();
    const Look look = lookFor(picture_, watched.label->geometry(), watched.kind);
    QString sheet = QStringLiteral("color: %1;").arg(look.text.name());
    if (look.plate.isValid())
        sheet += QStringLiteral(" background-color: rgba(%1, %2, %3, %4); border-radius: 3px;")
                     .arg(look.plate.red())
                     .arg(look.plate.green())
                     .arg(look.plate.blue())
                     .arg(look.plate.alpha());
    return sheet;
}

bool ReadableLabels::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
        for (const Watched &w : labels_)
            if (w.label == watched)
                restyle(w);
    }
    return QObject::eventFilter(watched, event);
}
