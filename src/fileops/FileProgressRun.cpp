#include "fileops/FileProgressRun.h"

bool FileProgressRun::RunItems(WorkItems& items) {
    m_items = &items;
    m_lastCount = 0;
    m_current = 0;
    m_taken = 0;
    m_ok = false;
    struct ForgetList {
        FileProgressRun& run;
        ~ForgetList() {
            // The total stays known to what runs after the loop (a run ended at an error).
            run.m_lastCount = run.ItemCount();
            run.m_items = nullptr;
            if (run.m_state == fpsRunning) // left by an error raised in a step
                run.m_state = fpsIdle;
        }
    } forget{*this};
    m_view.RunModal(Caption, [this] { ProcessItems(); });
    return m_ok;
}

void FileProgressRun::ProcessItems() {
    m_ok = true;
    m_state = fpsRunning;
    for (qsizetype index = 0; m_items && !IsCancelled(); ++index) {
        std::optional<QString> item = m_items->Next();
        if (!item)
            break;
        ++m_taken;
        if (!ProcessItem(index, *item))
            break;
        m_view.LetEventsRun();
    }
    if (m_state == fpsRunning)
        m_state = fpsIdle;
    if (OnFinished)
        OnFinished(*this);
}

bool FileProgressRun::ProcessItem(qsizetype index, const QString& item) {
    if (IsCancelled() || index < 0 || !m_items)
        return false;
    m_current = index;
    const qsizetype count = m_items->Count();
    m_view.ShowItem(index, count, ItemCaption(item));
    // A run needs its step; without one nothing is done to any item.
    return OnNextItem ? OnNextItem(*this, item) : false;
}

void FileProgressRun::ResetRun() {
    m_messages.clear();
    m_items = nullptr;
    m_lastCount = 0;
    m_current = 0;
    m_taken = 0;
    OnNextItem = nullptr;
    OnNameQuery = nullptr;
    OnCancelQuery = nullptr;
    OnFinished = nullptr;
    m_view.Reset();
}

void FileProgressRun::Cancel() {
    if (IsCancelled() || m_state != fpsRunning)
        return;
    if (!OnCancelQuery || OnCancelQuery(*this)) {
        m_ok = false;
        m_state = fpsCancelled;
    } else {
        m_ok = true;
    }
}

bool FileProgressRun::CloseQuery() {
    if (m_state != fpsRunning)
        return true;
    Cancel();
    return m_state == fpsCancelled;
}

bool FileProgressRun::IsCancelled() const {
    return !m_ok && m_state == fpsCancelled;
}

qsizetype FileProgressRun::ItemCount() const {
    if (!m_items)
        return m_lastCount;
    const qsizetype count = m_items->Count();
    return count >= 0 ? count : m_taken;
}

QString FileProgressRun::ItemCaption(const QString& item) {
    return OnNameQuery ? OnNameQuery(*this, item) : item;
}

void FileProgressRun::AddMessage(const QString& text, MessageMark mark) {
    ProgressMessage message{text, mark};
    m_view.MessageAdded(message);
    if (m_keepMessages)
        m_messages.append(std::move(message));
}

QStringList FileProgressRun::MessageTexts() const {
    QStringList texts;
    texts.reserve(m_messages.size());
    for (const ProgressMessage& message : m_messages)
        texts.append(message.text);
    return texts;
}
