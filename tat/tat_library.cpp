#include "tat/tat_library.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "base/sync.h"
#include "platform/removable_volumes.h"
#include "tat/card_layout.h"
#include "tat/tat_format.h"
#include "tat/tat_reader.h"

namespace locket {

namespace {

// Drive tokens handed out, one per card root, in order of first sight.
constexpr char kTokens[] = "DEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kTokenCount = sizeof kTokens - 1;

// A listing taken less than this many seconds after the folder's last change is not trusted
// again: FAT keeps times in 2-second steps, so a change within the same step would not show.
constexpr time_t kRacySeconds = 2;

struct ListingEntry {
    std::string name;      // as on the card, ".tat" included; at most 39 characters
    std::string fileName;  // as on the card
    uint64_t size = 0;
};

struct CategoryListing {
    bool valid = false;
    struct timespec mtime {};
    ino_t ino = 0;
    time_t takenAt = 0;
    std::vector<ListingEntry> entries;
};

struct CardSlot {
    char token = 0;
    std::string root;
    uint64_t registeredOrder = 0;  // 0: found as a mounted volume
    CategoryListing listings[kTatCategoryCount];
};

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && strncasecmp(s.c_str() + s.size() - n, suffix, n) == 0;
}

std::string StripExtension(const std::string& name) {
    return EndsWithNoCase(name, kTatExtension) ? name.substr(0, name.size() - 4) : name;
}

std::string CanonicalRoot(const char* folder) {
    char* real = ::realpath(folder, nullptr);
    if (!real)
        return {};
    std::string root = real;
    std::free(real);
    return root;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The category a recording name is opened in, as the player's parser reads it: its first
// letter E, R, P or M (as written), else the category of the previous open.
int32_t CategoryOfOpen(const std::string& name, int32_t previous) {
    switch (name.empty() ? 0 : name[0]) {
        case 'E':
            return kTatEvent;
        case 'R':
            return kTatContinuous;
        case 'P':
            return kTatParking;
        case 'M':
            return kTatManual;
        default:
            return previous;
    }
}

void ReadFolder(const std::string& folder, std::vector<ListingEntry>* entries) {
    entries->clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    int dirFd = ::dirfd(dir);
    while (struct dirent* e = ::readdir(dir)) {
        std::string fileName = e->d_name;
        if (!EndsWithNoCase(fileName, kTatExtension))
            continue;
        // Listed with the extension: the flag letter then stands just before it, where the
        // player looks for the second camera.
        std::string name = fileName;
        if (name.size() <= std::strlen(kTatExtension) || name.size() >= size_t(kTatNameBytes))
            continue;
        struct stat st;
        if (::fstatat(dirFd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        entries->push_back({std::move(name), std::move(fileName), uint64_t(st.st_size)});
    }
    ::closedir(dir);
    // Names carry the date and time: by name is oldest first.
    std::sort(entries->begin(), entries->end(),
              [](const ListingEntry& a, const ListingEntry& b) { return a.name < b.name; });
}

}  // namespace

struct TatLibrary {
    CSync m_cardLock{"tat cards"};
    // -- protected by m_cardLock
    TatProductInfo m_product{};
    std::vector<CardSlot> m_cards;
    char m_current = 0;
    uint64_t m_registrations = 0;
    CRemovableVolumes m_volumes;
    std::vector<std::string> m_located;  // stream position -> recording path
    // The category of the last open: a name whose first letter names none keeps it, so that a
    // query and the locate call after it agree on the recording.
    int32_t m_openCategory = kTatContinuous;

    // Taken after m_cardLock when both are needed, never before it.
    CSync m_streamLock{"tat stream"};
    // -- protected by m_streamLock
    std::unique_ptr<CTatReader> m_stream;
    std::unique_ptr<CTatReader> m_prepared;  // opened by the last query, taken by StartStream

    // The helpers below run with m_cardLock held.
    CardSlot* Slot(char token) {
        if (token == 0)
            return nullptr;
        for (CardSlot& slot : m_cards)
            if (slot.token == token)
                return &slot;
        return nullptr;
    }

    CardSlot& SlotFor(const std::string& root) {
        for (CardSlot& slot : m_cards)
            if (slot.root == root)
                return slot;
        if (m_cards.size() < kTokenCount) {
            m_cards.push_back({});
            m_cards.back().token = kTokens[m_cards.size() - 1];
            m_cards.back().root = root;
            return m_cards.back();
        }
        // Every token is taken: the oldest slot that is not the current card gives up its own.
        for (CardSlot& slot : m_cards) {
            if (slot.token != m_current) {
                char token = slot.token;
                slot = CardSlot{};
                slot.token = token;
                slot.root = root;
                return slot;
            }
        }
        return m_cards.front();
    }

    std::string CurrentRoot() {
        CardSlot* slot = Slot(m_current);
        return slot ? slot->root : std::string();
    }

    const std::vector<ListingEntry>* Listing(CardSlot& slot, int32_t category) {
        const char* folderName = CategoryFolder(category);
        if (!folderName)
            return nullptr;
        CategoryListing& listing = slot.listings[category];
        std::string folder = JoinPath(slot.root, folderName);
        struct stat st;
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            listing = CategoryListing{};
            return &listing.entries;
        }
        bool unchanged = listing.valid && listing.ino == st.st_ino &&
                         listing.mtime.tv_sec == st.st_mtim.tv_sec &&
                         listing.mtime.tv_nsec == st.st_mtim.tv_nsec &&
                         listing.takenAt - st.st_mtim.tv_sec >= kRacySeconds;
        if (!unchanged) {
            listing.takenAt = std::time(nullptr);
            ReadFolder(folder, &listing.entries);
            listing.valid = true;
            listing.ino = st.st_ino;
            listing.mtime = st.st_mtim;
        }
        return &listing.entries;
    }

    // The path of a recording on the current card, "" when there is none by that name.
    std::string Resolve(const char* name, int32_t category) {
        if (!name)
            return {};
        std::string n = name;
        if (!n.empty() && n[0] == '/')
            n.erase(0, 1);
        std::string base = StripExtension(n);
        if (base.empty() || base.size() > 255 || base == "." || base == ".." ||
            base.find_first_of("/\\") != std::string::npos)
            return {};
        std::string root = CurrentRoot();
        if (root.empty())
            return {};
        if (category < 0 || category >= kTatCategoryCount)
            category = CategoryOfOpen(base, -1);
        int32_t order[kTatCategoryCount + 1] = {category, 0, 1, 2, 3};
        for (int32_t c : order) {
            const char* folder = CategoryFolder(c);
            if (!folder)
                continue;
            for (const char* ext : {".tat", ".TAT"}) {
                std::string path = JoinPath(JoinPath(root, folder), base + ext);
                if (IsRegularFile(path))
                    return path;
            }
        }
        return {};
    }

    // Entry `index` of a category's listing on the current card, "" when there is none.
    std::string ListedPath(int32_t category, int32_t index) {
        CardSlot* slot = Slot(m_current);
        const std::vector<ListingEntry>* entries = slot ? Listing(*slot, category) : nullptr;
        if (!entries || index < 0 || size_t(index) >= entries->size())
            return {};
        return JoinPath(JoinPath(slot->root, CategoryFolder(category)),
                        (*entries)[size_t(index)].fileName);
    }

    void NoteOpenCategory(int32_t category) {
        if (category >= 0 && category < kTatCategoryCount)
            m_openCategory = category;
    }

    int64_t PositionOf(const std::string& path) {
        if (path.empty())
            return -1;
        auto it = std::find(m_located.begin(), m_located.end(), path);
        if (it != m_located.end())
            return it - m_located.begin();
        m_located.push_back(path);
        return int64_t(m_located.size()) - 1;
    }
};

namespace {

int32_t Query(TatHandle handle, const std::string& path, uint8_t* description, int32_t* count0,
              int32_t* count1, uint8_t* block244, char* countsText, uint8_t* block40) {
    if (count0)
        *count0 = 0;
    if (count1)
        *count1 = 0;
    if (countsText)
        countsText[0] = 0;
    if (block244)
        std::memset(block244, 0, 244);
    if (block40)
        std::memset(block40, 0, 40);
    if (path.empty())
        return 0;
    auto reader = std::make_unique<CTatReader>();
    if (!reader->Open(path))
        return 0;
    if (description)
        std::memcpy(description, reader->Description(), kTatDescriptionBytes);
    const TatRecordingCounts& counts = reader->Counts();
    if (count0)
        *count0 = int32_t(std::min<uint32_t>(counts.video0, INT32_MAX));
    if (count1)
        *count1 = int32_t(std::min<uint32_t>(counts.video1, INT32_MAX));
    reader->CountsText(countsText, kTatCountsTextBytes);
    if (block244) {
        PutLE32(block244, reader->DurationMs());
        PutLE32(block244 + 4, uint32_t(reader->GroupCount()));
    }
    CSyncLock lock(handle->m_streamLock);
    handle->m_prepared = std::move(reader);
    return 1;
}

}  // namespace

TatHandle TatCreate() {
    return new TatLibrary;
}

void TatSetProductInfo(TatHandle handle, TatProductInfo info) {
    if (!handle)
        return;
    CSyncLock lock(handle->m_cardLock);
    handle->m_product = info;
}

void TatDestroy(TatHandle handle) {
    delete handle;
}

char TatPollCard(TatHandle handle, char* drive) {
    char token = 0;
    if (handle) {
        CSyncLock lock(handle->m_cardLock);
        // The current card stays while it has the layout (a few stat calls per poll) and, for
        // a volume, while it is mounted.
        CardSlot* current = handle->Slot(handle->m_current);
        bool keep = current && IsCardFolder(current->root);
        if (keep && current->registeredOrder == 0) {
            handle->m_volumes.Refresh();
            const auto& mounted = handle->m_volumes.MountPoints();
            keep = std::find(mounted.begin(), mounted.end(), current->root) != mounted.end();
        }
        if (keep) {
            token = current->token;
        } else {
            handle->m_current = 0;
            std::vector<const CardSlot*> registered;
            for (const CardSlot& slot : handle->m_cards)
                if (slot.registeredOrder)
                    registered.push_back(&slot);
            std::sort(registered.begin(), registered.end(),
                      [](auto* a, auto* b) { return a->registeredOrder > b->registeredOrder; });
            for (const CardSlot* slot : registered) {
                if (IsCardFolder(slot->root)) {
                    token = slot->token;
                    break;
                }
            }
            if (!token) {
                handle->m_volumes.Refresh();
                for (const std::string& mountPoint : handle->m_volumes.MountPoints()) {
                    if (IsCardFolder(mountPoint)) {
                        token = handle->SlotFor(mountPoint).token;
                        break;
                    }
                }
            }
            handle->m_current = token;
        }
    }
    if (drive)
        *drive = token;
    return token;
}

void TatCardAttached(TatHandle handle) {
    if (!handle)
        return;
    CSyncLock lock(handle->m_cardLock);
    if (CardSlot* slot = handle->Slot(handle->m_current))
        for (CategoryListing& listing : slot->listings)
            listing = CategoryListing{};
}

char TatRegisterCardFolder(TatHandle handle, const char* folder) {
    if (!handle || !folder || !*folder)
        return 0;
    std::string root = CanonicalRoot(folder);
    if (root.empty() || !IsCardFolder(root))
        return 0;
    CSyncLock lock(handle->m_cardLock);
    CardSlot& slot = handle->SlotFor(root);
    slot.registeredOrder = ++handle->m_registrations;
    handle->m_current = slot.token;
    return slot.token;
}

int32_t TatCardRoot(TatHandle handle, char drive, char* buffer, int32_t size) {
    if (!handle || !buffer || size <= 0)
        return 0;
    CSyncLock lock(handle->m_cardLock);
    const CardSlot* slot = handle->Slot(drive);
    if (!slot || slot->root.size() >= size_t(size))
        return 0;
    std::memcpy(buffer, slot->root.c_str(), slot->root.size() + 1);
    return int32_t(slot->root.size());
}

void TatSetMountsFile(TatHandle handle, const char* mountsFile, const char* rootPrefix) {
    if (!handle)
        return;
    CSyncLock lock(handle->m_cardLock);
    handle->m_volumes =
        CRemovableVolumes(mountsFile ? mountsFile : "", rootPrefix ? rootPrefix : "");
}

int32_t TatCountRecordings(TatHandle handle, char drive, int32_t category) {
    if (!handle)
        return 0;
    CSyncLock lock(handle->m_cardLock);
    CardSlot* slot = handle->Slot(drive);
    const std::vector<ListingEntry>* entries = slot ? handle->Listing(*slot, category) : nullptr;
    return entries ? int32_t(entries->size()) : 0;
}

int32_t TatListRecordings(TatHandle handle, char drive, int32_t category, int32_t count,
                          char* names, uint8_t* sizes, int32_t* extra) {
    if (!handle || count <= 0)
        return 0;
    CSyncLock lock(handle->m_cardLock);
    CardSlot* slot = handle->Slot(drive);
    const std::vector<ListingEntry>* entries = slot ? handle->Listing(*slot, category) : nullptr;
    if (!entries)
        return 0;
    int32_t n = std::min<int32_t>(count, int32_t(entries->size()));
    for (int32_t i = 0; i < n; ++i) {
        const ListingEntry& e = (*entries)[size_t(i)];
        if (names) {
            char* field = names + size_t(i) * kTatNameBytes;
            std::memset(field, 0, kTatNameBytes);
            std::memcpy(field, e.name.data(), std::min<size_t>(e.name.size(), kTatNameBytes - 1));
        }
        if (sizes) {
            PutLE64(sizes + size_t(i) * kTatSizeBytes, e.size);
        }
        if (extra)
            extra[i] = i;
    }
    if (extra) {
        extra[n] = 0;
        extra[n + 1] = 0;
    }
    return n;
}

int32_t TatReadSettings(TatHandle handle, char* buffer, int32_t* size) {
    if (!handle || !buffer || !size || *size <= 0)
        return 0;
    int32_t capacity = *size;
    std::string root;
    {
        CSyncLock lock(handle->m_cardLock);
        root = handle->CurrentRoot();
    }
    std::string text;
    if (root.empty() ||
        !ReadWholeFile(JoinPath(root, kSettingsCopyFile), &text, size_t(capacity) + 1) ||
        text.empty())
        return 0;
    // The caller terminates the text after its length: it must leave room for that zero.
    if (text.size() >= size_t(capacity)) {
        std::printf("[TAT] settings text of %zu bytes or more refused, room for %d\n", text.size(),
                    capacity - 1);
        return 0;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = 0;
    *size = int32_t(text.size());
    return 1;
}

int32_t TatQueryRecording(TatHandle handle, const char* name, uint8_t* description, int32_t* count0,
                          int32_t* count1, uint8_t* block244, char* countsText, uint8_t* block40) {
    if (description)
        std::memset(description, 0, kTatDescriptionBytes);
    if (!handle)
        return 0;
    std::string path;
    {
        CSyncLock lock(handle->m_cardLock);
        std::string base = name ? StripExtension(name[0] == '/' ? name + 1 : name) : "";
        handle->m_openCategory = CategoryOfOpen(base, handle->m_openCategory);
        path = handle->Resolve(name, handle->m_openCategory);
    }
    return Query(handle, path, description, count0, count1, block244, countsText, block40);
}

int32_t TatQueryRecordingAt(TatHandle handle, const char* name, int32_t index, uint8_t* description,
                            int32_t* count0, int32_t* count1, uint8_t* block244, char* countsText,
                            uint8_t* block40) {
    if (description)
        std::memset(description, 0, kTatDescriptionBytes);
    if (!handle)
        return 0;
    std::string path;
    {
        CSyncLock lock(handle->m_cardLock);
        std::string base = name ? StripExtension(name[0] == '/' ? name + 1 : name) : "";
        int32_t category = CategoryOfOpen(base, handle->m_openCategory);
        handle->m_openCategory = category;
        // The entry TatLocateAt gives for the same category and index, and nothing else.
        path = handle->ListedPath(category, index);
    }
    return Query(handle, path, description, count0, count1, block244, countsText, block40);
}

int64_t TatLocate(TatHandle handle, int32_t category, const char* name) {
    if (!handle)
        return -1;
    CSyncLock lock(handle->m_cardLock);
    handle->NoteOpenCategory(category);
    return handle->PositionOf(handle->Resolve(name, category));
}

int64_t TatLocateAt(TatHandle handle, int32_t category, int32_t index) {
    if (!handle)
        return -1;
    CSyncLock lock(handle->m_cardLock);
    handle->NoteOpenCategory(category);
    return handle->PositionOf(handle->ListedPath(category, index));
}

int32_t TatStartStream(TatHandle handle, int32_t /*category*/, int32_t /*reserved*/,
                       int64_t position) {
    if (!handle)
        return 0;
    std::string path;
    {
        CSyncLock lock(handle->m_cardLock);
        if (position >= 0 && uint64_t(position) < handle->m_located.size())
            path = handle->m_located[size_t(position)];
    }
    CSyncLock lock(handle->m_streamLock);
    if (handle->m_prepared && handle->m_prepared->Path() == path && !path.empty()) {
        handle->m_stream = std::move(handle->m_prepared);
    } else {
        handle->m_stream.reset();
        auto reader = std::make_unique<CTatReader>();
        if (path.empty() || !reader->Open(path))
            return 0;
        handle->m_stream = std::move(reader);
    }
    handle->m_stream->Rewind();
    return 1;
}

int32_t TatReadPacket(TatHandle handle, uint8_t* stream, uint8_t* kind, uint8_t* flag,
                      uint32_t* size, uint8_t* buffer, int32_t* extra) {
    if (!handle)
        return kTatEndDamaged;
    CSyncLock lock(handle->m_streamLock);
    if (!handle->m_stream)
        return kTatEndDamaged;
    TatPacketInfo info;
    int status = handle->m_stream->ReadPacket(buffer, size ? *size : 0, &info);
    if (status != kTatPacket)
        return status;
    if (stream)
        *stream = info.stream;
    if (kind)
        *kind = info.kind;
    if (flag)
        *flag = info.flag;
    if (size)
        *size = info.size;
    if (extra)
        *extra = int32_t(info.timeMs);
    return kTatPacket;
}

int32_t TatSkippedPackets(TatHandle handle) {
    if (!handle)
        return 0;
    CSyncLock lock(handle->m_streamLock);
    return handle->m_stream ? int32_t(std::min<uint32_t>(handle->m_stream->Skipped(), INT32_MAX))
                            : 0;
}

int32_t TatSeek(TatHandle handle, int32_t target, int32_t limit) {
    if (!handle)
        return 0;
    CSyncLock lock(handle->m_streamLock);
    if (!handle->m_stream)
        return 0;
    int64_t delivered = handle->m_stream->GroupsDelivered();
    int64_t group =
        std::min<int64_t>(int64_t(target) - delivered - 1, int64_t(limit) - delivered - 1);
    group = std::clamp<int64_t>(group, 0, std::max(0, handle->m_stream->GroupCount() - 1));
    return handle->m_stream->SeekGroup(int(group)) ? 1 : 0;
}

}  // namespace locket
