// Relink lists no extraction wrote, rebuilt onto a sound kit image.
#include <gtest/gtest.h>

#include <cstdio>

#include "corrupt_support.h"

namespace isorelink::test {
namespace {

class HostileRelinkList : public ::testing::TestWithParam<std::uint8_t> {
protected:
    ImageKind kind() const { return fuzz::kind_from_selector(GetParam()); }

    std::string line(unsigned long long sector, unsigned long long size, unsigned long long record,
                     unsigned long long descriptor) const {
        char text[64];
        const int fields = std::snprintf(text, sizeof text, "%08llX|%08llX|%08llX|%08llX|", sector, size, record,
                                         descriptor);
        const int kept = kind() == ImageKind::Ps2Dvd ? fields : fields - 9;
        return std::string(text, static_cast<std::size_t>(kept)) + "\\FILE.BIN\r\n";
    }

    void expect_sound(const std::string& name, const std::string& list, std::uint16_t record_length = 120) {
        std::string input = {static_cast<char>(GetParam()), static_cast<char>(record_length & 0xFF),
                             static_cast<char>(record_length >> 8)};
        input += list;
        ScratchDir dir;
        EXPECT_EQ(bounded(name, [&] { return fuzz::relink_list_case(dir.prefix(), fuzz::as_u8(input)); }), "") << name;
    }
};

TEST_P(HostileRelinkList, FieldsAtAndPastTheImageEnd) {
    const std::uint64_t size = fuzz::sample_image(kind()).size(), all = 0xFFFFFFFF;
    const std::uint64_t entry = fuzz::sample(kind()).built.first_file_entry_sector * std::uint64_t{2048};
    const std::pair<const char*, std::string> cases[] = {
        {"all ones", line(all, all, all, all)},
        {"record at the last 16 bytes", line(30, 10, size - 16, entry + 308)},
        {"record one byte past", line(30, 10, size - 15, entry + 308)},
        {"descriptor at the last 8 bytes", line(30, 10, 0x8800, size - 8)},
        {"descriptor one byte past", line(30, 10, 0x8800, size - 7)},
        {"descriptor 0", line(30, 10, 0x8800, 0)},
        {"descriptor at a sector's last bytes", line(30, 10, 0x8800, entry + 2044)},
        {"record over the File Entry's tag", line(all, all, entry, entry + 308)},
        {"sector below everything", line(0, all, 0x8800, entry + 308)},
    };
    for (const auto& [name, list] : cases) expect_sound(name, list);
}

TEST_P(HostileRelinkList, BrokenLinesAndRecordFileLengths) {
    const std::string sound = line(30, 10, 0x8800, 0);
    const std::pair<const char*, std::string> cases[] = {
        {"empty list", ""},
        {"no line end", sound.substr(0, sound.size() - 2)},
        {"carriage returns only", std::string(5000, '\r')},
        {"line feeds only", std::string(5000, '\n')},
        {"a 300000-character line", std::string(300000, 'F') + "\n"},
        {"NUL bytes", std::string(64, '\0') + "\n" + sound},
        {"lowercase and signs", "-0000001|+0000001|0x00001|ffffffff|\\A\n"},
        {"sound line then garbage", sound + "zz|zz\n"},
    };
    for (const auto& [name, list] : cases)
        for (const std::uint16_t records : {0, 1, 11, 12, 24, 0xFFFF})
            expect_sound(std::string(name) + ", record file " + std::to_string(records) + " bytes", list, records);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, HostileRelinkList, ::testing::Values(0, 1, 2), selector_name);

} // namespace
} // namespace isorelink::test
