// The export's modeless progress window: the file being converted, its frames, the files of the
// batch, and Cancel.
#pragma once

#include <QDialog>

#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;

namespace locket {

class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFileProgressId = 1030;
    static constexpr int kTotalProgressId = 1031;
    static constexpr int kNameId = 1032;
    static constexpr int kCancelId = 1019;

    // Created hidden; the texts in the window's language.
    CProgressDlg(int langId, QWidget* owner);

    void SetName(const QString& name);
    QString Name() const;
    QProgressBar* FileProgress() const { return m_fileProgress; }
    QProgressBar* TotalProgress() const { return m_totalProgress; }
    QPushButton* CancelButton() const { return m_cancel; }
    void CenterOnScreen();

    // False after Cancel; the export worker reads it.
    std::atomic<bool> m_running{true};

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OnCancel();

    QLabel* m_name = nullptr;
    QProgressBar* m_fileProgress = nullptr;
    QProgressBar* m_totalProgress = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace locket
