// A Qt generic plugin that lets a test see and answer the message boxes of a real updater process.
//
// Loaded into the child with QT_QPA_GENERIC_PLUGINS=dialogpilot; the program itself has no test
// hooks. It prints one line per box that becomes active ("box<TAB>title<TAB>text", line breaks as
// "\n") and per activation of the main window ("activated"), and reads commands from stdin:
// "press <StandardButton>" (Ok, Yes, No, Abort) clicks that button of the active box,
// "close" closes the main window as the window manager would, "focus-elsewhere" activates another
// window as a user switching windows would, "click <objectName>" clicks a button of the main
// window, "hold-close" keeps the main window open (for screenshots of a finished run).
#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

void emitLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString escaped(QString text)
{
    return text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

QWidget *mainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("MainWindow"))
            return widget;
    return nullptr;
}

class DialogPilot : public QObject
{
public:
    DialogPilot()
    {
        connect(&m_poll, &QTimer::timeout, this, [this]() { poll(); });
        m_poll.start(20);
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, [this]() { readCommands(); });
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_holdClose && event->type() == QEvent::Close && watched->objectName() == QLatin1String("MainWindow")) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType())
            emitLine(QStringLiteral("activated\t") + watched->objectName());
        return false;
    }

private:
    void poll()
    {
        QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box != m_reported) {
            m_reported = box;
            emitLine(QStringLiteral("box\t") + box->windowTitle() + QLatin1Char('\t') + escaped(box->text()));
        }
    }

    void readCommands()
    {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_stdin->setEnabled(false);
            return;
        }
        m_pending.append(buffer, int(n));
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString command = QString::fromUtf8(m_pending.left(end)).trimmed();
            m_pending.remove(0, end + 1);
            // Later, from the event loop: a click may open a nested loop of its own.
            QTimer::singleShot(0, this, [this, command]() { run(command); });
        }
    }

    void run(const QString &command)
    {
        if (command == QLatin1String("close")) {
            // The helper window must not keep the program's last-window-closed quit from happening.
            m_other.reset();
            if (QWidget *window = mainWindow())
                window->close();
            return;
        }
        if (command == QLatin1String("hold-close")) {
            m_holdClose = true;
            return;
        }
        if (command.startsWith(QLatin1String("click "))) {
            QWidget *window = mainWindow();
            auto *button = window ? window->findChild<QAbstractButton *>(command.mid(6)) : nullptr;
            if (button)
                button->click();
            else
                emitLine(QStringLiteral("nobutton\t") + command.mid(6));
            return;
        }
        if (command == QLatin1String("focus-elsewhere")) {
            if (!m_other) {
                m_other.reset(new QWidget);
                m_other->setObjectName(QStringLiteral("OtherWindow"));
                m_other->resize(100, 100);
            }
            m_other->show();
            m_other->activateWindow();
            return;
        }
        if (!command.startsWith(QLatin1String("press ")))
            return;
        const QString name = command.mid(6);
        static const QHash<QString, QMessageBox::StandardButton> buttons = {
            {QStringLiteral("Ok"), QMessageBox::Ok},
            {QStringLiteral("Yes"), QMessageBox::Yes},
            {QStringLiteral("No"), QMessageBox::No},
            {QStringLiteral("Abort"), QMessageBox::Abort}};
        QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QAbstractButton *button = box ? box->button(buttons.value(name, QMessageBox::NoButton)) : nullptr;
        if (!button) {
            emitLine(QStringLiteral("nobutton\t") + name);
            return;
        }
        button->click();
    }

    QTimer m_poll;
    QSocketNotifier *m_stdin;
    QByteArray m_pending;
    QPointer<QMessageBox> m_reported;
    std::unique_ptr<QWidget> m_other;
    bool m_holdClose = false;
};

} // namespace

class DialogPilotPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "dialogpilot.json")
public:
    QObject *create(const QString &key, const QString &) override
    {
        return key.compare(QLatin1String("dialogpilot"), Qt::CaseInsensitive) == 0 ? new DialogPilot : nullptr;
    }
};

#include "dialogpilot.moc"
