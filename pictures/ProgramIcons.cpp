#include "pictures/ProgramIcons.h"

#include "pictures/IconFile.h"

#include <optional>
#include <set>

namespace tavolix::pictures {

namespace {

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
// Icon bytes read for one program, whatever its group names: each paint reads
// them again.
constexpr std::size_t kMaxIconBytesRead = 16u << 20;

// A group icon directory (GRPICONDIR): like an .ico directory, with 14-byte
// entries that name RT_ICON resources by id instead of file offsets.
std::optional<std::vector<TIconEntry>> ReadGroupDirectory(TByteView group) {
    if (!group.Has(0, 6) || group.U16(0) != 0 || group.U16(2) != 1)
        return std::nullopt;
    const unsigned count = group.U16(4);
    if (count == 0 || count > kMaxIconEntries || !group.Has(6, 14 * count))
        return std::nullopt;
    std::vector<TIconEntry> entries;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t e = 6 + 14 * i;
        TIconEntry entry;
        entry.Width = group.U8(e);
        entry.Height = group.U8(e + 1);
        entry.BitCount = group.U16(e + 6);
        entry.Bytes = group.U32(e + 8);
        entry.Offset = group.U16(e + 12); // resource id
        entries.push_back(entry);
    }
    return entries;
}

// Turns a group directory and a way to fetch RT_ICON resources by id into an
// icon, trying the other images when the best one can't be had. Each id is
// fetched once.
template <class FetchIcon>
TProgramIcon IconFromGroup(TByteView group, int wantWidth, int wantHeight, FetchIcon&& fetch) {
    TProgramIcon result;
    result.Handle = TProgramIcon::kNoIcon;
    auto entries = ReadGroupDirectory(group);
    if (!entries)
        return result;
    std::set<std::uint32_t> tried;
    std::size_t bytesRead = 0;
    while (!entries->empty() && bytesRead < kMaxIconBytesRead) {
        const int best = BestIconEntry(*entries, wantWidth, wantHeight);
        std::vector<std::uint8_t> image;
        const std::uint32_t id = (*entries)[best].Offset;
        if (tried.insert(id).second && fetch(static_cast<std::uint16_t>(id), image)) {
            bytesRead += image.size();
            result.IcoBytes = MakeSingleIcon(TByteView(image));
            if (!result.IcoBytes.empty()) {
                result.Handle = TProgramIcon::kIcon;
                return result;
            }
        }
        entries->erase(entries->begin() + best);
    }
    return result;
}

// ---- PE -------------------------------------------------------------------

class TPeResources {
public:
    explicit TPeResources(const TByteSource& file) : FFile(file) {}

    // False when the file is no PE image at all.
    bool Open(std::uint32_t peOffset) {
        std::vector<std::uint8_t> head;
        if (!FFile.ReadBlock(peOffset, 24, head))
            return false;
        TByteView h(head);
        if (!h.Equals(0, "PE\0\0", 4))
            return false;
        const unsigned sections = h.U16(6);
        const unsigned optSize = h.U16(20);
        std::vector<std::uint8_t> opt;
        if (!FFile.ReadBlock(peOffset + 24, optSize, opt))
            return true; // a PE file, though a broken one: no icons
        TByteView o(opt);
        std::size_t dirs = 0;
        switch (o.U16(0)) {
        case 0x10B:
            dirs = 96;
            break;
        case 0x20B:
            dirs = 112;
            break;
        default:
            return true;
        }
        const std::uint32_t dirCount = o.U32(dirs - 4);
        if (dirCount < 3 || !o.Has(dirs + 2 * 8, 8))
            return true;
        FRsrcRva = o.U32(dirs + 16);
        FRsrcSize = o.U32(dirs + 20);
        if (sections > static_cast<unsigned>(kMaxSections))
            return true;
        std::vector<std::uint8_t> table;
        if (!FFile.ReadBlock(std::uint64_t{peOffset} + 24 + optSize, 40 * sections, table))
            return true;
        TByteView t(table);
        for (unsigned i = 0; i < sections; ++i) {
            const std::size_t s = 40 * i;
            std::uint32_t virtualSize = t.U32(s + 8);
            const std::uint32_t rva = t.U32(s + 12);
            const std::uint32_t rawSize = t.U32(s + 16);
            const std::uint32_t raw = t.U32(s + 20);
            if (virtualSize == 0)
                virtualSize = rawSize;
            FSections.push_back({rva, virtualSize < rawSize ? virtualSize : rawSize, raw});
        }
        // The loader ignores the directory's size; hand-made files leave it 0.
        // Then the resources run to the end of their section.
        if (FRsrcSize == 0) {
            for (const TSection& s : FSections) {
                if (FRsrcRva >= s.Rva && FRsrcRva - s.Rva < s.Size)
                    FRsrcSize = s.Size - (FRsrcRva - s.Rva);
            }
        }
        FValid = FRsrcRva != 0 && FRsrcSize != 0;
        return true;
    }

    TProgramIcon FirstIcon(int wantWidth, int wantHeight) {
        TProgramIcon none;
        none.Handle = TProgramIcon::kNoIcon;
        if (!FValid)
            return none;
        std::optional<std::uint32_t> groupDir = FindEntry(0, kRtGroupIcon, true);
        if (!groupDir)
            return none;
        std::optional<std::uint32_t> groupLang = FirstEntry(*groupDir, true);
        if (!groupLang)
            return none;
        std::optional<std::uint32_t> groupData = FirstEntry(*groupLang, false);
        std::vector<std::uint8_t> group;
        if (!groupData || !ReadData(*groupData, group))
            return none;
        std::optional<std::uint32_t> iconDir = FindEntry(0, kRtIcon, true);
        if (!iconDir)
            return none;
        return IconFromGroup(TByteView(group), wantWidth, wantHeight,
                             [&](std::uint16_t id, std::vector<std::uint8_t>& image) {
                                 auto lang = FindEntry(*iconDir, id, true);
                                 if (!lang)
                                     return false;
                                 auto data = FirstEntry(*lang, false);
                                 return data && ReadData(*data, image);
                             });
    }

private:
    struct TSection {
        std::uint32_t Rva, Size, Raw;
    };

    bool ReadRsrc(std::uint32_t off, std::size_t n, std::vector<std::uint8_t>& out) {
        if (off > FRsrcSize || n > FRsrcSize - off)
            return false;
        auto fileOff = RvaToOffset(FRsrcRva + std::uint64_t{off}, n);
        return fileOff && FFile.ReadBlock(*fileOff, n, out);
    }

    std::optional<std::uint64_t> RvaToOffset(std::uint64_t rva, std::size_t n) const {
        for (const TSection& s : FSections) {
            if (rva >= s.Rva && rva - s.Rva <= s.Size && n <= s.Size - (rva - s.Rva))
                return std::uint64_t{s.Raw} + (rva - s.Rva);
        }
        return std::nullopt;
    }

    // Entries of the directory at `dirOff` (offsets within the section).
    // An entry points to a subdirectory when its high bit is set.
    template <class Visit> bool ForEntries(std::uint32_t dirOff, Visit&& visit) {
        std::vector<std::uint8_t> head;
        if (!ReadRsrc(dirOff, 16, head))
            return false;
        TByteView h(head);
        const unsigned count = unsigned{h.U16(12)} + h.U16(14);
        if (count == 0 || count > static_cast<unsigned>(kMaxResourceEntries))
            return false;
        std::vector<std::uint8_t> entries;
        if (!ReadRsrc(dirOff + 16, 8 * count, entries))
            return false;
        TByteView e(entries);
        for (unsigned i = 0; i < count; ++i) {
            if (visit(e.U32(8 * i), e.U32(8 * i + 4)))
                return true;
        }
        return false;
    }

    // The entry with a numeric id of the directory at dirOff.
    std::optional<std::uint32_t> FindEntry(std::uint32_t dirOff, std::uint32_t id, bool wantDir) {
        std::optional<std::uint32_t> found;
        ForEntries(dirOff, [&](std::uint32_t name, std::uint32_t target) {
            if (name != id)
                return false;
            if (((target & 0x80000000u) != 0) == wantDir)
                found = target & 0x7FFFFFFFu;
            return true;
        });
        return found;
    }

    std::optional<std::uint32_t> FirstEntry(std::uint32_t dirOff, bool wantDir) {
        std::optional<std::uint32_t> found;
        ForEntries(dirOff, [&](std::uint32_t, std::uint32_t target) {
            if (((target & 0x80000000u) != 0) == wantDir)
                found = target & 0x7FFFFFFFu;
            return true;
        });
        return found;
    }

    bool ReadData(std::uint32_t dataEntryOff, std::vector<std::uint8_t>& out) {
        std::vector<std::uint8_t> entry;
        if (!ReadRsrc(dataEntryOff, 16, entry))
            return false;
        TByteView d(entry);
        const std::uint32_t rva = d.U32(0), size = d.U32(4);
        // Entries may share their data; it is read once.
        if (size == 0 || size > kMaxIconImageBytes || !FDataRead.insert(rva).second)
            return false;
        auto off = RvaToOffset(rva, size);
        return off && FFile.ReadBlock(*off, size, out);
    }

    const TByteSource& FFile;
    std::vector<TSection> FSections;
    std::uint32_t FRsrcRva = 0, FRsrcSize = 0;
    bool FValid = false;
    std::set<std::uint32_t> FDataRead;
};

// ---- NE -------------------------------------------------------------------

TProgramIcon NeFirstIcon(const TByteSource& file, std::uint32_t neOffset, int wantWidth, int wantHeight) {
    TProgramIcon none;
    none.Handle = TProgramIcon::kNoIcon;
    std::vector<std::uint8_t> head;
    if (!file.ReadBlock(neOffset, 64, head))
        return none;
    TByteView h(head);
    const std::uint64_t table = std::uint64_t{neOffset} + h.U16(0x24);
    const std::uint64_t tableEnd = std::uint64_t{neOffset} + h.U16(0x26); // resident names follow
    if (h.U16(0x24) == h.U16(0x26) || tableEnd < table + 2)
        return none;
    std::vector<std::uint8_t> bytes;
    if (!file.ReadBlock(table, static_cast<std::size_t>(tableEnd - table), bytes))
        return none;
    TByteView t(bytes);
    const unsigned shift = t.U16(0);
    if (shift > 16)
        return none;

    struct TNeResource {
        std::uint16_t Id;
        std::uint64_t Offset, Length;
    };
    std::vector<TNeResource> icons;
    std::optional<TNeResource> group;
    std::size_t pos = 2;
    for (int types = 0; types < kMaxResourceEntries; ++types) {
        const unsigned type = t.U16(pos);
        if (type == 0 || !t.Has(pos, 8))
            break;
        const unsigned count = t.U16(pos + 2);
        pos += 8;
        if (!t.Has(pos, 12 * std::size_t{count}))
            return none;
        for (unsigned i = 0; i < count; ++i, pos += 12) {
            TNeResource r{t.U16(pos + 6), std::uint64_t{t.U16(pos)} << shift,
                          std::uint64_t{t.U16(pos + 2)} << shift};
            if (type == (0x8000u | kRtGroupIcon) && !group)
                group = r;
            else if (type == (0x8000u | kRtIcon))
                icons.push_back(r);
        }
    }
    std::vector<std::uint8_t> groupBytes;
    if (!group || group->Length > kMaxIconImageBytes ||
        !file.ReadBlock(group->Offset, static_cast<std::size_t>(group->Length), groupBytes))
        return none;
    return IconFromGroup(TByteView(groupBytes), wantWidth, wantHeight,
                         [&](std::uint16_t id, std::vector<std::uint8_t>& image) {
                             for (const TNeResource& r : icons) {
                                 if (r.Id == (0x8000u | id) && r.Length <= kMaxIconImageBytes) {
                                     // A length rounded up to the alignment may run past the end.
                                     std::uint64_t length = r.Length;
                                     if (r.Offset < file.Size() && length > file.Size() - r.Offset)
                                         length = file.Size() - r.Offset;
                                     return file.ReadBlock(r.Offset, static_cast<std::size_t>(length), image);
                                 }
                             }
                             return false;
                         });
}

TProgramIcon FromIconBytes(TByteView file, int wantWidth, int wantHeight) {
    TProgramIcon result;
    result.IcoBytes = ExtractIconImage(file, wantWidth, wantHeight);
    result.Handle = result.IcoBytes.empty() ? TProgramIcon::kNoIcon : TProgramIcon::kIcon;
    return result;
}

} // namespace

TProgramIcon ExtractFirstIcon(const TByteSource& file, int wantWidth, int wantHeight) {
    TProgramIcon result; // kNotAnIconFile
    std::vector<std::uint8_t> head;
    if (!file.ReadBlock(0, file.Size() < 64 ? static_cast<std::size_t>(file.Size()) : 64, head))
        return result;
    TByteView h(head);
    if (h.Equals(0, "MZ", 2) && h.Has(0, 64)) {
        result.Handle = TProgramIcon::kNoIcon; // a program from here on
        const std::uint32_t next = h.U32(0x3C);
        std::vector<std::uint8_t> magic;
        if (!file.ReadBlock(next, 2, magic))
            return result;
        if (TByteView(magic).Equals(0, "PE", 2)) {
            TPeResources pe(file);
            if (pe.Open(next))
                return pe.FirstIcon(wantWidth, wantHeight);
            return result;
        }
        if (TByteView(magic).Equals(0, "NE", 2))
            return NeFirstIcon(file, next, wantWidth, wantHeight);
        return result; // DOS, LE, LX: no icon resources we can read
    }
    const bool iconFile = h.Has(0, 6) && h.U16(0) == 0 && (h.U16(2) == 1 || h.U16(2) == 2);
    const bool aniFile = h.Equals(0, "RIFF", 4) && h.Equals(8, "ACON", 4);
    if (!iconFile && !aniFile)
        return result;
    std::vector<std::uint8_t> whole;
    if (file.Size() > kMaxWholeIconFile || !file.ReadBlock(0, static_cast<std::size_t>(file.Size()), whole)) {
        result.Handle = TProgramIcon::kNoIcon;
        return result;
    }
    TByteView bytes(whole);
    return FromIconBytes(aniFile ? FirstAniFrame(bytes) : bytes, wantWidth, wantHeight);
}

TProgramIcon ExtractFirstIcon(const std::string& path, int wantWidth, int wantHeight) {
    TFileSource file(path);
    if (!file.IsOpen())
        return {};
    return ExtractFirstIcon(file, wantWidth, wantHeight);
}

} // namespace tavolix::pictures
