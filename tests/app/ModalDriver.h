#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

// Runs `action` on the next modal window that opens (other than `except`),
// the way a user would answer it. Gives up after five seconds.
inline void OnNextModal(std::function<void(QWidget*)> action, QWidget* except = nullptr)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    // Guarded: a window of the same address may open once `except` is gone.
    QPointer<QWidget> skip(except);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action, skip] {
        QWidget* w = QApplication::activeModalWidget();
        bool timedOut = clock->elapsed() > 5000;
        if (!timedOut && (!w || w == skip.data() || !w->isVisible()))
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (!timedOut)
            action(w);
    });
    timer->start(5);
}

// Answers the next message box with `button` and keeps its text.
inline void AnswerNextBox(QString* text, QMessageBox::StandardButton button = QMessageBox::Ok)
{
    OnNextModal([text, button](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) {
            w->close();
            return;
        }
        if (text)
            *text = box->text();
        if (QAbstractButton* b = box->button(button))
            b->click();
        else
            box->reject();
    });
}

// Answers a file dialog with `path` as a user typing the whole name would.
// The dialog lists its folder in the background; typing the full path does
// not depend on that listing having arrived.
inline void AnswerFileDialog(QFileDialog* dialog, const QString& path)
{
    dialog->selectFile(path);
    if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");
}
