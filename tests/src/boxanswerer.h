// Declares BoxAnswerer, which answers the next modal message box of the test process.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// Polls for the active modal box from the event loop that the box itself runs, records its title
// and text, and presses the given button. Answers one box, then stops.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton button) : m_button(button)
    {
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            m_timer.stop();
            title = box->windowTitle();
            text = box->text();
            buttons = box->standardButtons();
            defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
            if (QAbstractButton *target = box->button(m_button))
                target->click();
            else
                box->reject();
            answered = true;
        });
        m_timer.start(10);
    }

    bool answered = false;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;

private:
    QMessageBox::StandardButton m_button;
    QTimer m_timer;
};
