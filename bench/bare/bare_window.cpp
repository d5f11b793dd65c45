// The reference of the start-up benchmark: the least a Qt Widgets program does to put one
// window on screen. It reports the moment it got there as the program's start-up probe (bench/probe) does.
// With --with-text the window holds one line of text, so the font machinery (which any window
// with text needs, and an empty one never starts) is part of the figure too.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(657, 475);
    if (argc > 1 && std::strcmp(argv[1], "--with-text") == 0)
        new QLabel(QStringLiteral("Velmora 1.2"), &window);
    window.show();
    QCoreApplication::processEvents();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("%lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    return 0;
}
