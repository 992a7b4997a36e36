#include "windowdriver.h"

#include "window/cachewindow.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <memory>

namespace Driver {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 120000;

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

template<typename T>
T *control(QWidget *window, const char *name)
{
    auto *widget = window->findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("the window has no control %s", name);
    return widget;
}

// Notes the first paint of one widget.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget)
        : m_widget(widget)
    {
        m_widget->installEventFilter(this);
    }
    ~PaintWatch() override { m_widget->removeEventFilter(this); }

    bool painted() const { return m_painted; }

    // Runs events until the widget has painted; false on a timeout.
    bool wait()
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_painted) {
            if (timer.elapsed() > kTimeoutMs)
                return false;
            // One pass handles the whole paint of the window the widget is in, so
            // once it returns with the widget painted, the window is on screen.
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        return true;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    QWidget *m_widget;
    bool m_painted = false;
};

// Watches the whole application while a purge click runs: counts the paints of
// Text3's viewport and stops the clock at the first paint of a message box, which
// it then closes through the event loop the box itself runs.
class MessageClock : public QObject
{
public:
    explicit MessageClock(QWidget *text3Viewport)
        : m_viewport(text3Viewport)
    {
        qApp->installEventFilter(this);
        // Should no box ever paint, close whatever is modal so the click returns.
        m_safety.setSingleShot(true);
        connect(&m_safety, &QTimer::timeout, this, [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        m_safety.start(kTimeoutMs);
    }
    ~MessageClock() override { qApp->removeEventFilter(this); }

    bool seen() const { return m_seen; }
    Clock::time_point shownAt() const { return m_shownAt; }
    int text3Paints() const { return m_text3Paints; }
    const QString &boxName() const { return m_boxName; }
    const QString &boxText() const { return m_boxText; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_seen || event->type() != QEvent::Paint)
            return false;
        if (watched == m_viewport) {
            ++m_text3Paints;
        } else if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            m_shownAt = Clock::now();
            m_seen = true;
            m_boxName = box->objectName();
            m_boxText = box->text();
            QMetaObject::invokeMethod(box, &QDialog::accept, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget *m_viewport;
    QTimer m_safety;
    bool m_seen = false;
    Clock::time_point m_shownAt;
    int m_text3Paints = 0;
    QString m_boxName;
    QString m_boxText;
};

} // namespace

Click clickPurge(CacheWindow *window)
{
    auto *button = control<QPushButton>(window, "Command1");
    auto *text3 = control<QPlainTextEdit>(window, "Text3");
    Click click;
    MessageClock clock(text3->viewport());
    const Clock::time_point start = Clock::now();
    button->click();
    if (clock.seen())
        click.seconds = secondsBetween(start, clock.shownAt());
    click.text3Paints = clock.text3Paints();
    click.boxName = clock.boxName();
    click.boxText = clock.boxText();
    return click;
}

double clickStatus(CacheWindow *window)
{
    auto *button = control<QPushButton>(window, "Command2");
    PaintWatch watch(control<QPlainTextEdit>(window, "Text3")->viewport());
    const Clock::time_point start = Clock::now();
    button->click();
    if (!watch.wait())
        return -1;
    return secondsBetween(start, Clock::now());
}

double reloadServerList(CacheWindow *window)
{
    PaintWatch watch(control<QListWidget>(window, "List1")->viewport());
    const Clock::time_point start = Clock::now();
    window->LoadServerList();
    if (!watch.wait())
        return -1;
    return secondsBetween(start, Clock::now());
}

double startToFirstPaint(const std::function<QWidget *()> &make)
{
    const Clock::time_point start = Clock::now();
    std::unique_ptr<QWidget> window(make());
    double seconds = -1;
    {
        PaintWatch watch(window.get());
        window->show();
        if (watch.wait())
            seconds = secondsBetween(start, Clock::now());
    }
    window.reset();
    drainEvents();
    return seconds;
}

void resetOutput(CacheWindow *window)
{
    control<QPlainTextEdit>(window, "Text3")->clear();
    drainEvents();
}

void drainEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

QWidget *makeBareWindow()
{
    auto *window = new QWidget;
    window->setWindowTitle(QStringLiteral("Quellory"));
    window->setFixedSize(930, 559);

    auto place = [](QWidget *widget, int x, int y, int w, int h) { widget->setGeometry(x, y, w, h); };
    auto textArea = [window] {
        auto *box = new QPlainTextEdit(window);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return box;
    };

    place(new QLabel(QStringLiteral("服务器IP："), window), 56, 16, 65, 17);
    auto *list = new QListWidget(window);
    list->setUniformItemSizes(true);
    list->addItems({QStringLiteral("127.0.0.1"), QString()});
    place(list, 128, 16, 201, 28);
    place(new QLineEdit(QStringLiteral("mgr:"), window), 344, 16, 73, 25);
    place(new QPushButton(QStringLiteral("查看状态"), window), 488, 16, 89, 25);
    place(new QLabel(QStringLiteral("服务器IP："), window), 632, 16, 73, 17);
    place(new QLineEdit(window), 696, 8, 161, 25);
    place(new QPushButton(QStringLiteral("添加"), window), 872, 8, 49, 25);
    place(new QLabel(QStringLiteral("网址："), window), 56, 56, 57, 25);
    place(textArea(), 128, 56, 353, 145);
    place(new QPushButton(QStringLiteral("更新缓存"), window), 496, 104, 65, 33);
    place(textArea(), 8, 216, 905, 321);
    return window;
}

} // namespace Driver
