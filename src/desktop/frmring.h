#pragma once

#include <QPoint>
#include <QWidget>

class QLabel;
class QTimer;

// The reminder pop-up: a frameless picture of an empty message frame that
// slides up at the bottom right of the screen, can be dragged with the left
// button and closes from the close button in its picture. No window manager
// places it or gives it a frame: it moves itself.
class FrmRing : public QWidget
{
    Q_OBJECT
  public:
    // Shows the one pop-up, loading it (with a new slide-in) when it is not loaded.
    static FrmRing *showRing();

    // Left and Top in twips, the pop-up's own measure of its place.
    QPoint positionTwips() const { return {left_, top_}; }
    bool isSliding() const;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    explicit FrmRing(QWidget *parent = nullptr);

    void createLabel1();
    void createTimer1();
    void Form_Load();
    void Timer1_Timer();
    void moveToTwips(int left, int top);
    QRect screenGeometry() const;

    QLabel *Label1 = nullptr;
    QTimer *Timer1 = nullptr;
    int left_ = 0; // twips
    int top_ = 0;
    QPoint dragOrigin_; // twips inside the window, where the last button went down
};
