#include "frmico.h"

Frmico::Frmico(QWidget *parent) : QWidget(parent) {}

Frmico::~Frmico() { DelIcon(); }

void Frmico::Load(bool shown) { setVisible(shown); }

void Frmico::DelIcon() {}

bool Frmico::isIconShown() const { return false; }

bool Frmico::isHotKeyActive() const { return false; }
