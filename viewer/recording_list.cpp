// The recording list and the card poll of the main window.
#include <QCheckBox>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>
#include <vector>

#include "files/recording_listing.h"
#include "files/recording_names.h"
#include "viewer/main_window.h"
#include "widgets/bitmap_slider.h"
#include "widgets/graph_static.h"
#include "widgets/string_table.h"

namespace locket {

void CRavuraVezedaDlg::PollCard() {
    const char old = m_cardDrive;
    TatPollCard(m_tatHandle, &m_cardDrive);
    if (m_cardDrive == old)
        return;
    if (m_cardDrive != 0) {
        // The window's own handle: the parser's is null until a recording was first opened.
        TatCardAttached(m_tatHandle);
        OnOpenButton();
        return;
    }
    StopExport();
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
    }
    m_frontPlace = m_rearPlace = m_mapPlace = 0;
    EnableControl(ctl::kMapEnlarge, false);
    m_seekSlider->SetPos(0);
    m_sensorTrack.Clear();
    m_graphShownSec = 0;
    ClearGraphWithBaseline(false);
    SetCtrlText(ctl::kSpeed, QStringLiteral("0") + SpeedText(-1));
    OnStop();
    RelayoutPictures();
    ShowMessage(PairText(string_id::kCardNotFound), QString(), false);
}

void CRavuraVezedaDlg::OnOpenButton() {
    if (m_exportRunning.load())
        return;
    if (m_cardDrive == 0) {
        ShowMessage(PairText(string_id::kCardNotFound), QString(), false);
        return;
    }
    OnCategoryButton(4);
}

void CRavuraVezedaDlg::OnCategoryButton(int category) {
    if (m_exportRunning.load())
        return;
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
    }
    FillRecordingList(category);
}

void CRavuraVezedaDlg::GatherRecordingNames(int category, std::vector<std::string>* out) {
    const std::vector<std::string> names = ListRecordings(m_tatHandle, m_cardDrive, category);
    out->insert(out->end(), names.begin(), names.end());
}

bool CRavuraVezedaDlg::FillRecordingList(int category) {
    std::vector<std::string> names;
    GatherRecordingNames(category, &names);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return RecordingNewerThan(a, b); });
    m_categoryShown = category;
    {
        const QSignalBlocker blocker(m_list);
        for (const std::string& name : names) {
            auto* item = new QTreeWidgetItem(m_list);
            item->setText(0, QString::fromStdString(RecordingTypeCode(name)));
            item->setText(1, QString::fromStdString(name));
            item->setText(2, QString::fromStdString(RecordingDateText(name)));
            item->setText(3, RecordingHasRear(name) ? QStringLiteral("O") : QStringLiteral("X"));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            for (int column : {0, 2, 3, 4})
                item->setTextAlignment(column, Qt::AlignCenter);
            for (int column = 0; column < 6; ++column) {
                item->setForeground(column, Qt::white);
                item->setBackground(column, Qt::black);
            }
        }
    }
    if (m_list->topLevelItemCount() == 0 && m_selectAll->isChecked())
        m_selectAll->setChecked(false);
    ApplySelectAll();
    GroupTripsOfList();
    // The open recording keeps its row across a refill, so NEXT and the automatic advance go
    // on from it.
    if (!m_openName.isEmpty()) {
        m_currentRow = -1;
        for (int row = 0; row < RowCount(); ++row) {
            if (RowName(row) == m_openName) {
                m_currentRow = row;
                SelectRow(row, false);
                break;
            }
        }
    }
    return true;
}

void CRavuraVezedaDlg::ApplySelectAll() {
    const Qt::CheckState state = m_selectAll->checkState();
    if (state == Qt::PartiallyChecked)
        return;
    const QSignalBlocker blocker(m_list);
    for (int row = 0; row < RowCount(); ++row)
        m_list->topLevelItem(row)->setCheckState(0, state);
}

void CRavuraVezedaDlg::OnListDoubleClick(int row) {
    if (m_exportRunning.load() || row < 0)
        return;
    const QString name = RowName(row);
    if (name.isEmpty())
        return;
    m_currentRow = row;
    if (!OpenRecording(name)) {
        m_currentRow = -1;
        return;
    }
    ShowPlayButton(false);
    m_currentRow = row;
    SelectRow(row, true);
}

int CRavuraVezedaDlg::RowCount() const {
    return m_list ? m_list->topLevelItemCount() : 0;
}

QString CRavuraVezedaDlg::RowName(int row) const {
    const QTreeWidgetItem* item = m_list->topLevelItem(row);
    return item ? item->text(1) : QString();
}

bool CRavuraVezedaDlg::IsRowChecked(int row) const {
    const QTreeWidgetItem* item = m_list->topLevelItem(row);
    return item && item->checkState(0) == Qt::Checked;
}

void CRavuraVezedaDlg::SetRowChecked(int row, bool checked) {
    if (QTreeWidgetItem* item = m_list->topLevelItem(row))
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void CRavuraVezedaDlg::SelectRow(int row, bool focusList) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item)
        return;
    const QSignalBlocker blocker(m_list);
    m_list->clearSelection();
    m_list->setCurrentItem(item);
    item->setSelected(true);
    m_list->scrollToItem(item);
    if (focusList)
        m_list->setFocus();
}

}  // namespace locket
