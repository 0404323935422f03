#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>

class QLabel;
class QRect;

// Keeps the texts that sit straight on the skin picture readable: each label
// gets the first of its colours that stands 7:1 against every pixel of the
// picture behind it (the contrast ratio of the web's guidelines), else the
// one that stands best if that reaches 4.5:1, and where none does, a plate
// of the picture's own tone under its text.
// Without a picture the labels keep the window's colours.
class ReadableLabels : public QObject
{
    Q_OBJECT
  public:
    enum class Kind { Text, Link };
    explicit ReadableLabels(QObject *parent = nullptr);

    void watch(QLabel *label, Kind kind);
    void setPicture(const QImage &picture);

    // The contrast ratio of two colours, 1 to 21.
    static double contrast(QColor a, QColor b);
    static constexpr double kLeast = 4.5;
    static constexpr double kWell = 7.0;

    struct Look {
        QColor text;
        QColor plate; // invalid: none
    };
    // The look for a text over `area` of `picture`.
    static Look lookFor(const QImage &picture, const QRect &area, Kind kind);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    struct Watched {
        QLabel *label;
        Kind kind;
    };
    void restyle(const Watched &watched) const;
    QString sheetFor(const Watched &watched) const;

    QImage picture_;
    QList<Watched> labels_;
};
