// Must not compile: a GUI-free library gives no path to Qt Widgets.
#include <QWidget>

int main() {
    return 0;
}
