// The window's tools for finding an incident and handing it over: knock marks on the seek bar
// and the jumps to them, picture steps, play speed, clip marks, and the clip export menu of the
// list and the pictures.
#pragma once

#include <QLabel>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <thread>
#include <vector>

#include "widgets/seek_marks.h"

namespace locket {

class CRavuraVezedaDlg;

class CEvidenceControls : public QObject {
    Q_OBJECT
public:
    // A jump to a knock lands this long before it, so the run-up is seen.
    static constexpr int64_t kKnockLeadMs = 2000;

    enum ExportKind : int { kExportMp4 = 0, kExportGpx = 1, kExportCsv = 2 };

    // Builds its widgets on the window's controls; the window's controls exist already.
    explicit CEvidenceControls(CRavuraVezedaDlg* dlg);
    ~CEvidenceControls() override;

    // A recording was opened: the marks are cleared and its knocks read on a thread.
    void OnRecordingOpened(const QString& name);
    // K, Shift+K, '.', ',', '[', ']', I, O and Esc (with marks set); false for other keys.
    bool HandleKey(int key, Qt::KeyboardModifiers modifiers);
    // Writes recording `name` as the menu entry asks, into a folder the user picks; the clip
    // marks apply when it is the open recording.
    void ExportClip(const QString& name, ExportKind kind);

    // State the tests and the screenshots read.
    const std::vector<uint32_t>& Knocks() const { return m_knocks; }
    int64_t MarkIn() const { return m_in; }
    int64_t MarkOut() const { return m_out; }
    CSeekMarks* SeekMarks() const { return m_marks; }
    QLabel* SpeedLabel() const { return m_speedLabel; }
    // The context menu shown last (null before one).
    QMenu* ContextMenu() const { return m_menu; }
    // Shows the menu for recording `name` at a screen position.
    void ShowMenu(const QString& name, const QPoint& global);

signals:
    // The knocks of the open recording are in (tests and screenshots wait on it).
    void KnocksFound(int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void JumpToKnock(bool next);
    void SeekToMs(int64_t ms);
    void Step(int delta);
    void ChangeSpeed(int direction);
    void SetMark(bool in);
    void ClearMarks();
    void PlaceSpeedLabel();
    void JoinKnockReader();
    std::string CardFolder() const;

    CRavuraVezedaDlg* m_dlg;
    QPointer<CSeekMarks> m_marks;
    QPointer<QLabel> m_speedLabel;
    QPointer<QMenu> m_menu;
    std::vector<uint32_t> m_knocks;
    int64_t m_in = -1;
    int64_t m_out = -1;
    // A reading of an earlier recording reports with an older serial and is dropped.
    unsigned m_knockSerial = 0;
    std::thread m_knockReader;
};

}  // namespace locket
