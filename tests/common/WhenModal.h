#pragma once
// For window tests: answers the next modal window from the event loop once it is shown, so
// that no test waits for a person.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

inline void WhenModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start(10);
}
