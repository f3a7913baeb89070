// The capture button: the pictures shown now saved as JPEG files, one per camera.
#include <QDateTime>
#include <QFileInfo>
#include <QMessageBox>

#include "viewer/capture_names.h"
#include "viewer/main_window.h"
#include "widgets/string_table.h"

namespace locket {

void CRavuraVezedaDlg::OnCapture() {
    const int gate = m_player.m_captureGate.load();
    if (m_exportRunning.load() ||
        (gate != CTRSMediaPlayer::kGatePlaying && gate != CTRSMediaPlayer::kGateStepped) ||
        RowCount() == 0)
        return;
    const unsigned serial = m_openSerial.load();
    m_player.Pause();
    const QDateTime now = QDateTime::currentDateTime();
    const QString defaultName =
        FormatString(string_id::kCaptureName, now.date().year(), now.date().month(),
                     now.date().day(), now.time().hour(), now.time().minute(), now.time().second());
    const QString chosen = AskSaveFile(defaultName, LoadString(string_id::kCaptureFilter));
    if (!chosen.isEmpty()) {
        const CaptureFiles files = CaptureFileNames(chosen.toStdString());
        const bool rear = ChannelCount() >= 2;
        QStringList existing;
        for (const std::string& path : {files.front, files.rear}) {
            if ((path == files.front || rear) && QFileInfo::exists(QString::fromStdString(path)))
                existing << QString::fromStdString(path);
        }
        const bool write =
            existing.isEmpty() || ShowMessage(FormatPairString(string_id::kCaptureReplace, m_langId,
                                                               existing.join(QLatin1Char('\n'))),
                                              QString(), true) == QMessageBox::Yes;
        if (write) {
            // An unwritable folder, a full disk or a recording closed while the dialog was up.
            QStringList failed;
            if (!m_player.Capture(0, files.front.c_str()))
                failed << QString::fromStdString(files.front);
            if (rear && !m_player.Capture(1, files.rear.c_str()))
                failed << QString::fromStdString(files.rear);
            if (!failed.isEmpty())
                ShowMessage(FormatPairString(string_id::kCaptureNotWritten, m_langId,
                                             failed.join(QLatin1Char('\n'))),
                            QString(), false);
        }
    }
    // Playback goes on only for the recording that was playing, and only if it is still open
    // (the card may have gone while the dialog was up).
    if (gate == CTRSMediaPlayer::kGatePlaying && m_openSerial.load() == serial &&
        m_player.m_captureGate.load() != CTRSMediaPlayer::kGateClosed) {
        ShowPlayButton(false);
        m_player.Play();
    }
    RelayoutPictures();
}

}  // namespace locket
