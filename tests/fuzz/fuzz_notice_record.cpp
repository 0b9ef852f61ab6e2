// The records received through WM_COPYDATA: the notice record (command, whole record, close
// request) and the update count record. Nothing past the given size is read (the fuzzer's buffer
// ends exactly there), and a decoded record written again keeps its numbers and the start of its
// texts.
#include "tests/fuzz/fuzz_support.h"
#include "app/notice_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto command = DecodeNoticeCommand(data, size);
    FUZZ_CHECK(command.has_value() == (size >= kNoticeTextOffset));
    const bool close = IsCloseRequest(data, size);
    FUZZ_CHECK(!close || command);

    FUZZ_CHECK(size >= kNoticeRecordSize || !DecodeNoticeRecord(data, size));
    FUZZ_CHECK(size >= kUpdateCountRecordSize || !DecodeUpdateCountRecord(data, size));
    if (const auto record = DecodeNoticeRecord(data, size)) {
        FUZZ_CHECK(command && command->command == record->command &&
                   command->status == record->status);
        // A sender may fill a whole field without its terminator; written again, the text is
        // cut to leave room for one, and from then on it stays as it is.
        FUZZ_CHECK(record->product.size() <= kNoticeProductChars);
        FUZZ_CHECK(record->text.size() <= kNoticeTextChars);
        const std::vector<std::uint8_t> bytes = EncodeNoticeRecord(*record);
        FUZZ_CHECK(bytes.size() == kNoticeRecordSize);
        FUZZ_CHECK(bytes[kNoticePercentOffset - 1] == 0 && bytes[kNoticePercentOffset - 2] == 0);
        const auto again = DecodeNoticeRecord(bytes.data(), bytes.size());
        FUZZ_CHECK(again && again->command == record->command &&
                   again->percent == record->percent && again->status == record->status);
        FUZZ_CHECK(record->product.compare(0, again->product.size(), again->product) == 0);
        FUZZ_CHECK(record->text.compare(0, again->text.size(), again->text) == 0);
        FUZZ_CHECK(EncodeNoticeRecord(*again) == bytes);
    }

    if (const auto count = DecodeUpdateCountRecord(data, size)) {
        const std::vector<std::uint8_t> bytes = EncodeUpdateCountRecord(*count);
        FUZZ_CHECK(bytes.size() == kUpdateCountRecordSize);
        FUZZ_CHECK(DecodeUpdateCountRecord(bytes.data(), bytes.size()) == count);
    }
    return 0;
}
