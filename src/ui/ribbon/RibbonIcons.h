// The ribbon's own icons, drawn at run time: no image files to ship or license.
#pragma once

#include <QIcon>

// Two arrows passing each other in opposite directions: reload.
QIcon ExchangeArrowsIcon();
// A folded paper map with a location pin.
QIcon MapIcon();
