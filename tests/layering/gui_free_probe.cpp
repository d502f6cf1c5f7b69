// Must not compile: the GUI-free libraries give no path to Qt Widgets.
#include "search/FileItems.h"

#include <QWidget>

int main() { return 0; }
