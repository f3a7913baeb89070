// The export thread: converts the batch the window hands over and reports to the window through
// queued signals only, so it never touches a widget and never waits for the GUI thread.
#pragma once

#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/single_thread.h"
#include "base/wait_event.h"
#include "export/avi_converter.h"
#include "export/clip_converter.h"

namespace locket {

class CExportWorker : public QObject {
    Q_OBJECT
public:
    struct Batch {
        std::string cardFolder;
        std::string targetFolder;
        std::vector<std::string> names;
        int serial = 0;
        // Each name becomes a clip (MP4, GPX, CSV as the options ask) instead of an AVI file.
        bool clip = false;
        CClipConverter::Options clipOptions;
    };

    // `exportRunning` is the window's flag (1 while a batch is wanted); `keepRunning` the
    // progress window's flag (false after Cancel).
    CExportWorker(std::atomic<int>* exportRunning, const std::atomic<bool>* keepRunning);
    ~CExportWorker() override;

    void Start();
    // Ends the current file and joins the thread.
    void Stop();

    // Hands a batch over (GUI thread); the worker copies it when it starts the batch, which
    // it does on its next pass once `exportRunning` is 1.
    void Submit(const Batch& batch);
    // Returns once no batch pass runs: a cleared flag alone does not mean the copy stopped.
    void WaitIdle();
    bool IsBusy();

    // Called on the export thread after each front frame copied (tests).
    void SetFrameHook(std::function<void(int index, int frame)> hook) { m_frameHook = hook; }

    // Frame position of the current file, for the coalesced FileProgress signal.
    void TakeProgress(int* frame, int* total);

signals:
    void BatchStarted(int serial);
    void FileStarted(int serial, int index, int count, const QString& name);
    // Sent again only after the window took the last one (TakeProgress): a fast copy must not
    // flood the event queue with one event per frame.
    void FileProgress(int serial);
    // `notWritten`: names of the recordings left without a file; `incomplete`: one line per
    // file that holds only part of its recording ("NAME.incomplete.avi  281/300", front
    // pictures copied of those recorded; for a clip, of those recorded in its range).
    void BatchEnded(int serial, const QStringList& notWritten, const QStringList& incomplete);

private:
    bool Pass();
    void RunBatch(const Batch& batch);
    // Writes one clip; the files not written whole (or the name) go to *notWritten, a clip
    // that lost packets to *incomplete.
    void ExportClip(const Batch& batch, const std::string& name,
                    const CClipConverter::KeepGoing& keepGoing,
                    const CClipConverter::Progress& progress, QStringList* notWritten,
                    QStringList* incomplete);
    void SetBusy(bool busy);

    std::atomic<int>* m_exportRunning;
    const std::atomic<bool>* m_keepRunning;
    CSingleThread m_thread{"Export"};
    CWaitEvent m_wake;
    std::atomic<bool> m_stopping{false};

    std::mutex m_mutex;
    // -- protected by m_mutex
    Batch m_pending;
    bool m_busy = false;
    std::condition_variable m_idle;

    std::atomic<int> m_frame{0};
    std::atomic<int> m_total{0};
    std::atomic<bool> m_progressPosted{false};

    std::function<void(int, int)> m_frameHook;  // set before a batch starts

    // -- used by the worker thread only
    CAviConverter m_converter;
    CClipConverter m_clipConverter;
};

}  // namespace locket
