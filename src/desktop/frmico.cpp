#include "frmico.h"

Frmico::Frmico(QWidget *parent) : QWidget(parent) {}

Frmico::~Frmico() { DelIcon(); }

void Frmico::Load(bool shown) { setVisible(shown); }

void Frmico::DelIcon() {}
