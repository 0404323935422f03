#include "skinengine.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

SkinEngine::SkinEngine(QWidget *window) : window_(window) {}

void SkinEngine::setSkinLevel(int level)
{
    level_ = level;
    stage_ = Stage::LevelSet;
}

void SkinEngine::prepare()
{
    if (stage_ != Stage::LevelSet)
        return;
    sheet_ = level_ >= 1 ? styleSheet() : QString();
    palette_ = palette();
    stage_ = Stage::Prepared;
}

void SkinEngine::apply()
{
    if (stage_ != Stage::Prepared || !window_)
        return;
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        fusion->setParent(window_);
        window_->setStyle(fusion);
        const auto children = window_->findChildren<QWidget *>();
        for (QWidget *child : children)
            child->setStyle(fusion);
    }
    window_->setPalette(palette_);
    window_->setStyleSheet(sheet_);
    stage_ = Stage::Applied;
}

QPalette SkinEngine::palette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0xEE, 0xF4, 0xFB));
    p.setColor(QPalette::WindowText, QColor(0x1F, 0x2D, 0x3D));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::AlternateBase, QColor(0xF3, 0xF7, 0xFC));
    p.setColor(QPalette::Text, QColor(0x1F, 0x2D, 0x3D));
    p.setColor(QPalette::Button, QColor(0xE3, 0xEC, 0xF7));
    p.setColor(QPalette::ButtonText, QColor(0x1F, 0x2D, 0x3D));
    p.setColor(QPalette::Highlight, QColor(0x3A, 0x7B, 0xD5));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x9A, 0xA5, 0xB1));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x9A, 0xA5, 0xB1));
    return p;
}

QString SkinEngine::styleSheet()
{
    return QStringLiteral(
        "QPushButton { border: 1px solid #7FA3CF; border-radius: 3px; padding: 1px 2px;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FDFEFF, stop:1 #D6E4F5); }"
        "QPushButton:hover { border-color: #3A7BD5; }"
        "QPushButton:pressed { background: #C4D8F0; }"
        "QPushButton:disabled { color: #9AA5B1; border-color: #C3CFDC; background: #EEF2F7; }"
        "QLineEdit, QPlainTextEdit, QTextEdit { border: 1px solid #9DB6D6; border-radius: 2px;"
        " background: white; selection-background-color: #3A7BD5; }"
        "QLineEdit:focus, QPlainTextEdit:focus, QTextEdit:focus { border-color: #3A7BD5; }"
        "QTreeView, QTreeWidget, QListView, QTableView { border: 1px solid #9DB6D6;"
        " background: white; }"
        "QHeaderView::section { background: #E3ECF7; border: 0; border-right: 1px solid #C3CFDC;"
        " padding: 1px 3px; }"
        "QMenu { background: white; border: 1px solid #7FA3CF; }"
        "QMenu::item:selected { background: #3A7BD5; color: white; }");
}
