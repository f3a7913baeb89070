// The recorder card's layout: category folders, recording file names and the settings files.
#pragma once

#include <cstdint>
#include <string>

namespace locket {

// Category folders at the card root, by library category (kTatEvent..kTatManual).
constexpr int kTatCategoryCount = 4;
constexpr const char* kTatCategoryFolders[kTatCategoryCount] = {"EVENT", "REC", "PARKING",
                                                                "MANUAL"};
// Kind word that opens a recording's file name, by library category.
constexpr const char* kTatCategoryKinds[kTatCategoryCount] = {"EVENT", "REC", "PARKING", "MANUAL"};

constexpr const char* kTatExtension = ".tat";
constexpr const char* kSettingFolder = "SETTING";
// The settings file the viewer edits, relative to the card root.
constexpr const char* kSettingsFile = "SETTING/blackbox.cfg";
// The recorder's own copy of its settings text, delivered by TatReadSettings.
constexpr const char* kSettingsCopyFile = "SETTING/blackbox.bak";

struct RecordingTime {
    int year = 2014;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Folder name and kind word of a category; nullptr when the category is not 0..3.
const char* CategoryFolder(int32_t category);
const char* CategoryKind(int32_t category);

// The category whose kind word opens the name (case-insensitive, up to the first '_');
// -1 when it is none of the four.
int32_t CategoryOfName(const std::string& name);

// "KIND_YYYYMMDD_hhmmss_F.tat": F is 'D' with both cameras, 'F' with the front one only.
// Empty when the category or a time field is out of range.
std::string RecordingFileName(int32_t category, const RecordingTime& time, int cameras);

// cardRoot/FOLDER/KIND_YYYYMMDD_hhmmss_F.tat; empty as above.
std::string RecordingPath(const std::string& cardRoot, int32_t category, const RecordingTime& time,
                          int cameras);

// Strict check of the name rule (with or without ".tat"); the library lists other .tat files
// too, this is for tools that want to know.
bool IsRecordingFileName(const std::string& name);

// a + "/" + b without doubling the separator.
std::string JoinPath(const std::string& a, const std::string& b);

// A folder is a card when the four category folders and SETTING exist in it as folders.
bool IsCardFolder(const std::string& folder);

// Makes the folders of an empty card (existing ones are kept). True when the folder is a card
// afterwards.
bool CreateCardLayout(const std::string& root);

}  // namespace locket
