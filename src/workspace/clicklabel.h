#pragma once

#include <QLabel>

// A label that reports the mouse: pressed (any button), clicked (left button
// pressed and released over it) and moved over it (without a button, too).
class ClickLabel : public QLabel
{
    Q_OBJECT
  public:
    explicit ClickLabel(const QString &text = {}, QWidget *parent = nullptr);

  signals:
    void pressed(Qt::MouseButton button);
    void clicked();
    void hovered();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};
