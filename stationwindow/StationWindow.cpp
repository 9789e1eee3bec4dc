// The flashing station's window for an operator.
#include "StationWindow.h"

#include "StationTile.h"

#include <QLineEdit>

StationWindow::StationWindow(const Options &o, Journal *j, QWidget *parent)
    : QMainWindow(parent)
    , options(o)
    , journal(j)
{
    scan = new QLineEdit(this);
}

StationWindow::~StationWindow() = default;
