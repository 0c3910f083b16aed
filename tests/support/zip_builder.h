#pragma once
// Archives for tests: built with libzip's writing side, then patched byte by byte where
// a test needs damage that no writer produces (wrong CRC-32, broken Deflate data, lying
// sizes and offsets, odd names).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rk5::test {

// A DOS date and time as ZIP stores them (local time, two-second steps).
struct DosStamp {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  static DosStamp Of(int year, int month, int day, int hour, int minute, int second);
  // The same moment as the local time of this machine, in Unix seconds.
  std::int64_t LocalSeconds() const;
};

inline constexpr char kTestPassword[] = "secret";

class ZipBuilder {
 public:
  // Deflate-compressed file entry.
  ZipBuilder& File(std::string name, std::string data);
  // Stored (uncompressed) file entry.
  ZipBuilder& Stored(std::string name, std::string data);
  // Folder entry; the name keeps the separator it ends in ("/" or "\").
  ZipBuilder& Folder(std::string name);
  // Unix symbolic link whose data is the link's target.
  ZipBuilder& Link(std::string name, std::string target);

  // Change the entry added last.
  ZipBuilder& Time(DosStamp stamp);
  // Made on Unix with this mode; a mode without a file type is taken as a regular file.
  ZipBuilder& UnixMode(std::uint32_t mode);
  // Made on DOS/Windows with these attributes (0x01 read-only, 0x10 folder, 0x20 archive).
  ZipBuilder& DosAttributes(std::uint32_t attributes);
  // Keeps the attributes but names another host system (10: Windows NTFS).
  ZipBuilder& MadeOn(std::uint8_t host);
  // Traditional PKWARE encryption with kTestPassword.
  ZipBuilder& Encrypted();

  void WriteTo(const std::filesystem::path& file) const;
  std::string Bytes() const;

  // The default time every entry gets: 2021-03-04 05:06:08.
  static DosStamp DefaultStamp();

 private:
  struct Entry {
    std::string name;
    std::string data;
    bool folder = false;
    bool stored = false;
    bool encrypted = false;
    DosStamp stamp = DefaultStamp();
    std::optional<std::uint8_t> host;
    std::uint32_t attributes = 0;
  };
  Entry& Last();
  std::vector<Entry> entries_;
};

// A tool archive as a Windows archiver writes it: backslashes between folders, folder
// entries, DOS attributes (read-only on Foo\readme.txt), host DOS and one NTFS entry.
// No Windows archiver is at hand here, so the records are made to look that way.
ZipBuilder WindowsStyleTool(const std::string& top);

// `count` empty stored entries named "many/00000" ... in one archive: more than the
// 16-bit entry count of a plain ZIP, so libzip writes the ZIP64 end records.
void WriteManyEntries(const std::filesystem::path& file, std::uint32_t count);

// One central-directory record, with the offsets that patches need.
struct CentralRecord {
  std::string name;
  std::size_t central_offset = 0;  // start of the central header
  std::size_t local_offset = 0;    // start of the local header
  std::size_t data_offset = 0;     // first byte of the (compressed) data
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t size = 0;
};

// Records of a plain (non-ZIP64) archive in directory order; throws on anything else.
std::vector<CentralRecord> ListCentralDirectory(std::string_view zip);
CentralRecord FindRecord(std::string_view zip, std::string_view name);

// Patches, in both the central and the local header where the field is in both.
void PatchCrc(std::string& zip, std::string_view name, std::uint32_t crc);
void PatchSizes(std::string& zip, std::string_view name, std::uint32_t compressed_size,
                std::uint32_t size);
void PatchLocalOffset(std::string& zip, std::string_view name, std::uint32_t offset);
// Replaces a name with another of the same length.
void PatchName(std::string& zip, std::string_view name, std::string_view same_length);
// Sets the general-purpose flag bits (bit 11: the name is UTF-8).
void PatchFlags(std::string& zip, std::string_view name, std::uint16_t flags);
// Overwrites the first bytes of the entry's compressed data with 0xFF, which no Deflate
// stream may start with (block type 3).
void DamageData(std::string& zip, std::string_view name);

// Lies of the local header alone; the central directory stays as it was.
enum class LocalField { kCrc = 14, kCompressedSize = 18, kSize = 22 };
void PatchLocalOnly(std::string& zip, std::string_view name, LocalField field, std::uint32_t value);
void PatchLocalName(std::string& zip, std::string_view name, std::string_view same_length);
// The entry's central record goes; its local header and data stay, known to no record.
void DropCentralRecord(std::string& zip, std::string_view name);
// The same archive with its central directory first, before the entries.
std::string DirectoryFirst(const std::string& zip);

std::uint32_t Crc32(std::string_view data);

}  // namespace rk5::test
