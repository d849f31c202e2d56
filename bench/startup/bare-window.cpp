// The floor for Quillfern's start-up figure: a QMainWindow of the app's size with one line of text, which
// prints the milliseconds from process start to the first paint of its content, measured as the app measures
// its own (the same clock, the same moment: after that paint is done), then quits.

#include "app/StartupClock.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

namespace {

class BareWindow : public QMainWindow {
public:
    BareWindow() : m_content(new QLabel(QStringLiteral("Bare window"), this))
    {
        setWindowTitle(QStringLiteral("bare window"));
        setCentralWidget(m_content);
        resize(1360, 880);
        m_content->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_content && event->type() == QEvent::Paint) {
            m_content->removeEventFilter(this);
            QTimer::singleShot(0, this, [] {
                std::fprintf(stderr, "first-paint-ms %.1f\n", quillfern::millisecondsSinceProcessStart());
                std::fflush(stderr);
                QCoreApplication::exit(0);
            });
        }
        return QMainWindow::eventFilter(watched, event);
    }

private:
    QLabel *m_content;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    BareWindow window;
    window.show();
    return application.exec();
}
