// Turns a stretch of a recording into the files an insurer or the police can open: an MP4 clip
// (pictures copied, sound as AAC), its GPS track as GPX, its sensor data as CSV, and a
// sha256sum manifest of the recording and every file written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/export_report.h"

namespace locket {

class CClipConverter {
public:
    // The converters' results (export_report.h). A stopped clip leaves nothing behind and a
    // failure names what was not written in NotWritten(). A clip that lost packets is
    // kIncomplete: all of its files are kept under their IncompletePath names.
    using Result = ExportResult;

    struct Options {
        uint32_t fromMs = 0;         // start mark; the clip opens at the group before it
        uint32_t toMs = UINT32_MAX;  // end mark
        bool mp4 = true;
        bool split = false;  // the rear camera in NAME_rear.mp4 instead of a second track
        bool gpx = false;
        bool csv = false;
        bool manifest = true;  // NAME.sha256 beside the files
    };

    // Asked before every packet (false stops the export); told after every front picture.
    using KeepGoing = ExportKeepGoing;
    using Progress = ExportProgress;

    // False when `folder` is not a card.
    bool UseCard(const std::string& folder);
    // The file of recording `name` ("[/]NAME[.tat]") on the card, looked up without regard to
    // case; empty when there is none.
    std::string FindRecording(const std::string& name) const;

    // Writes the files of recording `name` into `outFolder` as NAME.mp4, NAME_rear.mp4,
    // NAME.gpx, NAME.csv and NAME.sha256 (NAME: the recording's name without extension). Each
    // is written as its PartPath and renamed once all are made.
    Result Export(const std::string& name, const std::string& outFolder, const Options& options,
                  const KeepGoing& keepGoing = {}, const Progress& progress = {});

    // Files of the last Export written whole (full paths), and those that were not.
    const std::vector<std::string>& Written() const { return m_written; }
    const std::vector<std::string>& NotWritten() const { return m_notWritten; }
    // The last Export's result, its first file and the front pictures copied and recorded
    // in its range (the clip's counts are of front pictures only).
    const ExportReport& Report() const { return m_report; }
    // The range the last Export covered, in ms from the recording's start.
    uint32_t ClipStartMs() const { return m_startMs; }
    uint32_t ClipEndMs() const { return m_endMs; }

    // The recording's name without folders and extension; separators become '_'.
    static std::string BaseName(const std::string& name);
    static bool Failed(Result r) { return ExportFailed(r); }

private:
    std::string m_card;
    std::vector<std::string> m_written;
    std::vector<std::string> m_notWritten;
    ExportReport m_report;
    uint32_t m_startMs = 0;
    uint32_t m_endMs = 0;
};

}  // namespace locket
