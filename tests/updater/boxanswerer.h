#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

// Answers every message box that opens while it exists (with its first
// button) and remembers what each said.
class BoxAnswerer : public QObject
{
    Q_OBJECT
  public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    BoxAnswerer();
    const QList<Box> &boxes() const { return boxes_; }
    QStringList texts() const;

  private:
    void poll();

    QTimer timer_;
    QList<Box> boxes_;
};
