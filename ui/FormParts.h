#pragma once

// What the window's layout (Layout.cpp) and its behaviour (main.cpp) share.

#include <QColor>
#include <QWidget>

namespace eks {

void SetTextColour(QWidget* w, QColor colour);

// The alignment of a column of the results list.
Qt::Alignment ColumnAlignment(int column);

}  // namespace eks
