#pragma once

#include <QPointer>
#include <QWidget>

// The notebook's skin layer. Each of the login, settings and main windows owns
// one engine and calls its three operations once per load, in this order:
//     setSkinLevel(1); prepare(); apply();
// apply() gives the window and its standard controls the notebook's one look
// (style, palette and style sheet). Calls out of order are ignored, so a
// window is never left half-skinned.
class SkinEngine
{
  public:
    explicit SkinEngine(QWidget *window);

    void setSkinLevel(int level); // 1: the full look
    void prepare();               // builds the look for the window
    void apply();                 // puts it on the window and its controls

    int skinLevel() const { return level_; }
    bool isApplied() const { return stage_ == Stage::Applied; }

    // The look on its own, for windows and tests that need it.
    static QString styleSheet();
    static QPalette palette();

  private:
    enum class Stage { Idle, LevelSet, Prepared, Applied };
    QPointer<QWidget> window_;
    int level_ = 0;
    Stage stage_ = Stage::Idle;
    QString sheet_;
    QPalette palette_;
};
