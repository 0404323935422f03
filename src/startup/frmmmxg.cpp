#include "frmmmxg.h"

frmMMXG::frmMMXG(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Varnel设置"));
}
