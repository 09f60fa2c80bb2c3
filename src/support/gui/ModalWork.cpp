#include "support/gui/ModalWork.h"

#include <QDialog>
#include <utility>

namespace {

// Should the window never be painted (a display that shows nothing), the work starts anyway.
constexpr int kStartFallback = 1000; // milliseconds

} // namespace

ModalWork::ModalWork(QDialog& dialog) : m_dialog(dialog) {
    m_fallback.setSingleShot(true);
    QObject::connect(&m_fallback, &QTimer::timeout, &m_dialog, [this] {
        if (std::exchange(m_armed, false))
            Start();
    });
}

int ModalWork::Exec(const std::function<int()>& work) {
    m_work = &work;
    m_failure = nullptr;
    struct Disarm {
        ModalWork& modal;
        ~Disarm() {
            modal.m_armed = false;
            modal.m_fallback.stop();
            modal.m_work = nullptr;
        }
    } disarm{*this};

    m_armed = true;
    m_fallback.start(kStartFallback);
    const int result = m_dialog.exec();

    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    return result;
}

void ModalWork::Painted() {
    if (std::exchange(m_armed, false))
        QTimer::singleShot(0, &m_dialog, [this] { Start(); });
}

void ModalWork::Start() {
    m_fallback.stop();
    // The dialog may have closed (and this Exec ended) before this queued start arrived.
    if (m_work == nullptr || m_running || !m_dialog.isVisible())
        return;
    m_running = true;
    int result = QDialog::Rejected;
    // Nothing may be thrown through Qt's event handling: Exec rethrows it.
    try {
        result = (*m_work)();
    } catch (...) {
        m_failure = std::current_exception();
    }
    m_running = false;
    m_dialog.done(result);
}
