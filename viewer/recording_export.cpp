// Export of the ticked recordings to AVI files: the button, the folder, the progress window and
// the reports of the export thread.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressBar>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "viewer/export_worker.h"
#include "viewer/main_window.h"
#include "viewer/progress_dlg.h"
#include "viewer/viewer_config.h"
#include "widgets/string_table.h"

namespace locket {

namespace {

// The file bar's range when the recording does not tell its frame total.
constexpr int kUnknownFrameTotal = 1000;
// Files that hold only part of their recordings, one per line (res/strings).
constexpr int kIncompleteFiles = 531;

}  // namespace

QString CRavuraVezedaDlg::ProfilePath() const {
    const QFileInfo config(QString::fromStdString(ViewerConfigPath(m_options.configFolder)));
    return config.absolutePath() + QStringLiteral("/locket-viewer.conf");
}

void CRavuraVezedaDlg::SetUpExport() {
    {
        QSettings profile(ProfilePath(), QSettings::NativeFormat);
        m_targetFolder = profile.value(QStringLiteral("Info/TargetFolder")).toString();
    }
    m_progressDlg = new CProgressDlg(m_langId, this);
    m_progressDlg->CenterOnScreen();
    m_exportWorker = std::make_unique<CExportWorker>(&m_exportRunning, &m_progressDlg->m_running);
    CExportWorker* worker = m_exportWorker.get();
    connect(worker, &CExportWorker::BatchStarted, this, [this](int serial) {
        if (serial == m_exportSerial && m_exportRunning.load() == 1)
            m_progressDlg->show();
    });
    connect(worker, &CExportWorker::FileStarted, this,
            [this](int serial, int index, int count, const QString& name) {
                if (serial != m_exportSerial)
                    return;
                // The caption keeps the last of these texts after the batch.
                setWindowTitle(
                    FormatPairString(string_id::kExportCaption, m_langId, index, count, name));
                m_progressDlg->SetName(name);
                m_progressDlg->TotalProgress()->setValue(index + 1);
                m_progressDlg->FileProgress()->setValue(0);
            });
    connect(worker, &CExportWorker::FileProgress, this, [this, worker](int serial) {
        int frame = 0;
        int total = 0;
        worker->TakeProgress(&frame, &total);
        if (serial != m_exportSerial)
            return;
        if (!m_progressDlg->m_running.load()) {
            m_progressDlg->hide();
            return;
        }
        QProgressBar* bar = m_progressDlg->FileProgress();
        bar->setRange(0, total > 0 ? total : kUnknownFrameTotal);
        bar->setValue(std::min(frame, bar->maximum()));
    });
    connect(worker, &CExportWorker::BatchEnded, this,
            [this](int serial, const QStringList& notWritten, const QStringList& incomplete) {
                if (serial != m_exportSerial)
                    return;
                m_progressDlg->hide();
                if (!notWritten.isEmpty())
                    ShowMessage(FormatPairString(string_id::kNotWritten, m_langId,
                                                 notWritten.join(QLatin1Char('\n'))),
                                QString(), false);
                if (!incomplete.isEmpty())
                    ShowMessage(FormatPairString(kIncompleteFiles, m_langId,
                                                 incomplete.join(QLatin1Char('\n'))),
                                QString(), false);
            });
    m_exportWorker->Start();
}

void CRavuraVezedaDlg::ShutdownExport() {
    m_exportRunning.store(0);
    if (m_exportWorker)
        m_exportWorker->Stop();
}

void CRavuraVezedaDlg::WaitExportIdle() {
    if (m_exportWorker)
        m_exportWorker->WaitIdle();
}

void CRavuraVezedaDlg::OnFileDownload() {
    if (m_exportRunning.load())
        return;
    WaitExportIdle();
    OnStop();
    CollectCheckedNames();
    if (m_exportNames.isEmpty()) {
        ShowMessage(PairText(string_id::kNoRecordingTicked), QString(), false);
        return;
    }
    CTATParser::SetLibraryHandle(m_tatHandle);
    ChooseTargetFolder();
}

void CRavuraVezedaDlg::CollectCheckedNames() {
    m_exportNames.clear();
    for (int row = 0; row < RowCount(); ++row) {
        if (IsRowChecked(row))
            m_exportNames << RowName(row);
    }
}

void CRavuraVezedaDlg::ChooseTargetFolder() {
    const QString folder = AskFolder(LoadString(string_id::kTargetFolderTitle));
    if (folder.isEmpty())
        return;
    m_targetFolder = folder;
    {
        QSettings profile(ProfilePath(), QSettings::NativeFormat);
        profile.setValue(QStringLiteral("Info/TargetFolder"), m_targetFolder);
    }
    CExportWorker::Batch batch;
    // Paths of any length the system takes.
    std::vector<char> root(1 << 16, '\0');
    if (TatCardRoot(m_tatHandle, m_cardDrive, root.data(), static_cast<int32_t>(root.size())) > 0)
        batch.cardFolder = root.data();
    batch.targetFolder = m_targetFolder.toStdString();
    for (const QString& name : m_exportNames)
        batch.names.push_back(name.toStdString());
    batch.serial = ++m_exportSerial;

    m_progressDlg->m_running.store(true);
    m_progressDlg->TotalProgress()->setRange(0, static_cast<int>(m_exportNames.size()));
    m_progressDlg->TotalProgress()->setValue(0);
    m_progressDlg->FileProgress()->setValue(0);
    m_exportWorker->Submit(batch);
    m_exportRunning.store(1);
}

void CRavuraVezedaDlg::StopExport() {
    m_exportRunning.store(0);
    if (!m_progressDlg)
        return;
    m_progressDlg->FileProgress()->setValue(0);
    m_progressDlg->TotalProgress()->setValue(0);
    m_progressDlg->m_running.store(false);
    m_progressDlg->hide();
}

QString CRavuraVezedaDlg::AskFolder(const QString& title) {
    if (m_pathAnswer)
        return m_pathAnswer();
    return QFileDialog::getExistingDirectory(this, title, QString(), QFileDialog::ShowDirsOnly);
}

QString CRavuraVezedaDlg::AskSaveFile(const QString& defaultName, const QString& filter) {
    if (m_pathAnswer)
        return m_pathAnswer();
    // The overwrite question is asked about the files really written, not this name.
    return QFileDialog::getSaveFileName(this, QString(), defaultName, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

}  // namespace locket
