#include "viewer/export_worker.h"

#include <cstdio>

#include "export/output_file.h"

namespace locket {

namespace {

// How long an idle pass sleeps when nothing wakes it: an idle worker must not spin.
constexpr uint32_t kIdleWaitMs = 500;

// One line of the after-batch message: "NAME.incomplete.avi  281/300".
QString IncompleteLine(const std::string& file, const ExportReport& report) {
    std::printf("[Export] %s incomplete: %u of %u front pictures\n", file.c_str(),
                report.copied.front, report.expected.front);
    return QStringLiteral("%1  %2/%3")
        .arg(QString::fromStdString(file.substr(file.rfind('/') + 1)))
        .arg(report.copied.front)
        .arg(report.expected.front);
}

}  // namespace

CExportWorker::CExportWorker(std::atomic<int>* exportRunning, const std::atomic<bool>* keepRunning)
    : m_exportRunning(exportRunning), m_keepRunning(keepRunning) {}

CExportWorker::~CExportWorker() {
    Stop();
}

void CExportWorker::Start() {
    m_stopping.store(false);
    m_thread.BeginThread([this] { return Pass(); });
}

void CExportWorker::Stop() {
    m_stopping.store(true);
    m_wake.SetEvent();
    m_thread.StopThread();
}

void CExportWorker::Submit(const Batch& batch) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = batch;
    }
    m_wake.SetEvent();
}

void CExportWorker::WaitIdle() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_busy; });
}

bool CExportWorker::IsBusy() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_busy;
}

void CExportWorker::SetBusy(bool busy) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = busy;
    }
    if (!busy)
        m_idle.notify_all();
}

void CExportWorker::TakeProgress(int* frame, int* total) {
    m_progressPosted.store(false);
    *frame = m_frame.load();
    *total = m_total.load();
}

bool CExportWorker::Pass() {
    if (m_stopping.load() || m_exportRunning->load() != 1) {
        m_wake.WaitEvent(kIdleWaitMs);
        return true;
    }
    Batch batch;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = true;
        batch = m_pending;
    }
    RunBatch(batch);
    SetBusy(false);
    return true;
}

void CExportWorker::RunBatch(const Batch& batch) {
    emit BatchStarted(batch.serial);
    const bool card = m_converter.UseCard(batch.cardFolder);
    const auto keepGoing = [this] {
        if (m_stopping.load())
            return false;
        // Cancel is seen on every packet, not only on front frames.
        if (!m_keepRunning->load()) {
            m_exportRunning->store(0);
            return false;
        }
        return m_exportRunning->load() == 1;
    };
    int index = 0;
    const auto progress = [this, &index, serial = batch.serial](int frame, int total) {
        if (m_frameHook)
            m_frameHook(index, frame);
        m_frame.store(frame);
        m_total.store(total);
        if (!m_progressPosted.exchange(true))
            emit FileProgress(serial);
    };
    QStringList notWritten;
    QStringList incomplete;
    const int count = static_cast<int>(batch.names.size());
    for (int i = 0; i < count && keepGoing(); ++i) {
        index = i;
        const std::string& name = batch.names[static_cast<size_t>(i)];
        m_frame.store(0);
        m_total.store(0);
        emit FileStarted(batch.serial, i, count, QString::fromStdString(name));
        if (batch.clip) {
            ExportClip(batch, name, keepGoing, progress, &notWritten, &incomplete);
            continue;
        }
        const std::string destination = CAviConverter::DestinationFor(batch.targetFolder, name);
        ExportReport report;
        if (card)
            report = m_converter.Convert(name, destination, keepGoing, progress);
        if (ExportFailed(report.result)) {
            std::printf("[Export] %s not written\n", name.c_str());
            notWritten << QString::fromStdString(name);
        } else if (report.result == ExportResult::kIncomplete) {
            incomplete << IncompleteLine(IncompletePath(destination), report);
        }
    }
    int running = 1;
    m_exportRunning->compare_exchange_strong(running, 0);
    emit BatchEnded(batch.serial, notWritten, incomplete);
}

void CExportWorker::ExportClip(const Batch& batch, const std::string& name,
                               const CClipConverter::KeepGoing& keepGoing,
                               const CClipConverter::Progress& progress, QStringList* notWritten,
                               QStringList* incomplete) {
    const auto result = m_clipConverter.UseCard(batch.cardFolder)
                            ? m_clipConverter.Export(name, batch.targetFolder, batch.clipOptions,
                                                     keepGoing, progress)
                            : CClipConverter::Result::kNotFound;
    if (result == ExportResult::kIncomplete) {
        const ExportReport& report = m_clipConverter.Report();
        *incomplete << IncompleteLine(report.file.empty() ? name : report.file, report);
    }
    if (!CClipConverter::Failed(result))
        return;
    std::printf("[Export] clip of %s not written\n", name.c_str());
    if (m_clipConverter.NotWritten().empty())
        *notWritten << QString::fromStdString(name);
    for (const std::string& file : m_clipConverter.NotWritten())
        *notWritten << QString::fromStdString(file);
}

}  // namespace locket
