#include "support/zip_builder.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "support/temp_dir.h"

namespace rk5::test {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;

std::uint32_t Get16(std::string_view b, std::size_t at) {
  if (at + 2 > b.size()) throw std::runtime_error("zip record runs past the end");
  return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8);
}

std::uint32_t Get32(std::string_view b, std::size_t at) {
  return Get16(b, at) | (Get16(b, at + 2) << 16);
}

void Put16(std::string& b, std::size_t at, std::uint32_t v) {
  b.at(at) = static_cast<char>(v & 0xff);
  b.at(at + 1) = static_cast<char>((v >> 8) & 0xff);
}

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xffff);
  Put16(b, at + 2, v >> 16);
}

[[noreturn]] void Fail(zip_t* z, const std::string& what) {
  std::string why = z != nullptr ? zip_strerror(z) : "";
  throw std::runtime_error("zip builder: " + what + ": " + why);
}

}  // namespace

DosStamp DosStamp::Of(int year, int month, int day, int hour, int minute, int second) {
  DosStamp s;
  s.date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  s.time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  return s;
}

std::int64_t DosStamp::LocalSeconds() const {
  std::tm tm{};
  tm.tm_year = ((date >> 9) & 0x7f) + 80;
  tm.tm_mon = ((date >> 5) & 0x0f) - 1;
  tm.tm_mday = date & 0x1f;
  tm.tm_hour = (time >> 11) & 0x1f;
  tm.tm_min = (time >> 5) & 0x3f;
  tm.tm_sec = (time & 0x1f) * 2;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

DosStamp ZipBuilder::DefaultStamp() { return DosStamp::Of(2021, 3, 4, 5, 6, 8); }

ZipBuilder& ZipBuilder::File(std::string name, std::string data) {
  entries_.push_back(Entry{std::move(name), std::move(data)});
  return *this;
}

ZipBuilder& ZipBuilder::Stored(std::string name, std::string data) {
  File(std::move(name), std::move(data));
  Last().stored = true;
  return *this;
}

ZipBuilder& ZipBuilder::Folder(std::string name) {
  File(std::move(name), {});
  Last().folder = true;
  return *this;
}

ZipBuilder& ZipBuilder::Link(std::string name, std::string target) {
  Stored(std::move(name), std::move(target));
  Last().host = ZIP_OPSYS_UNIX;
  Last().attributes = 0120777u << 16;
  return *this;
}

ZipBuilder& ZipBuilder::Time(DosStamp stamp) {
  Last().stamp = stamp;
  return *this;
}

ZipBuilder& ZipBuilder::UnixMode(std::uint32_t mode) {
  if ((mode & 0170000) == 0) mode |= 0100000;
  Last().host = ZIP_OPSYS_UNIX;
  Last().attributes = mode << 16;
  return *this;
}

ZipBuilder& ZipBuilder::DosAttributes(std::uint32_t attributes) {
  Last().host = ZIP_OPSYS_DOS;
  Last().attributes = attributes;
  return *this;
}

ZipBuilder& ZipBuilder::MadeOn(std::uint8_t host) {
  Last().host = host;
  return *this;
}

ZipBuilder& ZipBuilder::Encrypted() {
  Last().encrypted = true;
  return *this;
}

ZipBuilder::Entry& ZipBuilder::Last() {
  if (entries_.empty()) throw std::logic_error("zip builder: no entry to change");
  return entries_.back();
}

std::string ZipBuilder::Bytes() const {
  // libzip writes no file for an archive without entries; the end record alone is one.
  if (entries_.empty()) return std::string("PK\x05\x06", 4) + std::string(18, '\0');
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer == nullptr) Fail(nullptr, "buffer");
  zip_source_keep(buffer);
  zip_t* z = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (z == nullptr) Fail(nullptr, "open");
  for (const Entry& e : entries_) {
    zip_int64_t index;
    if (e.folder && e.name.ends_with('/')) {
      index = zip_dir_add(z, e.name.c_str(), ZIP_FL_ENC_RAW);
    } else {
      zip_source_t* data = zip_source_buffer(z, e.data.data(), e.data.size(), 0);
      if (data == nullptr) Fail(z, "data of " + e.name);
      index = zip_file_add(z, e.name.c_str(), data, ZIP_FL_ENC_RAW);
      if (index < 0) zip_source_free(data);
    }
    if (index < 0) Fail(z, "add " + e.name);
    auto i = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(z, i, e.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) != 0 ||
        zip_file_set_dostime(z, i, e.stamp.time, e.stamp.date, 0) != 0) {
      Fail(z, "set " + e.name);
    }
    if (e.host && zip_file_set_external_attributes(z, i, 0, *e.host, e.attributes) != 0) {
      Fail(z, "attributes of " + e.name);
    }
    if (e.encrypted && zip_file_set_encryption(z, i, ZIP_EM_TRAD_PKWARE, kTestPassword) != 0) {
      Fail(z, "encrypt " + e.name);
    }
  }
  if (zip_close(z) != 0) Fail(z, "close");

  std::string bytes;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_source_stat(buffer, &st) != 0 || zip_source_open(buffer) != 0) Fail(nullptr, "read");
  bytes.resize(static_cast<std::size_t>(st.size));
  zip_int64_t n = zip_source_read(buffer, bytes.data(), bytes.size());
  zip_source_close(buffer);
  zip_source_free(buffer);
  if (n != static_cast<zip_int64_t>(bytes.size())) Fail(nullptr, "short read");
  return bytes;
}

void ZipBuilder::WriteTo(const std::filesystem::path& file) const {
  WriteFileBytes(file, Bytes());
}

ZipBuilder WindowsStyleTool(const std::string& top) {
  constexpr std::uint32_t kReadOnly = 0x01, kFolder = 0x10, kArchive = 0x20;
  constexpr std::uint8_t kHostNtfs = 10;
  ZipBuilder b;
  b.Folder(top + "\\").DosAttributes(kFolder);
  b.Folder(top + "\\bin\\").DosAttributes(kFolder);
  b.File(top + "\\bin\\TOOL.EXE", std::string("MZ") + std::string(3000, '\x90'))
      .DosAttributes(kArchive);
  b.File(top + "\\readme.txt", "Read me on Windows.\r\n").DosAttributes(kReadOnly | kArchive);
  b.Folder(top + "\\Empty\\").DosAttributes(kFolder);
  b.File(top + "\\Data\\settings.ini", "[Main]\r\nKey=1\r\n").DosAttributes(kArchive);
  b.MadeOn(kHostNtfs);
  return b;
}

void WriteManyEntries(const std::filesystem::path& file, std::uint32_t count) {
  int code = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (z == nullptr) Fail(nullptr, "open " + file.string());
  for (std::uint32_t i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "many/%05u", i);
    zip_source_t* data = zip_source_buffer(z, "", 0, 0);
    zip_int64_t index = zip_file_add(z, name, data, 0);
    if (index < 0 || zip_set_file_compression(z, static_cast<zip_uint64_t>(index),
                                              ZIP_CM_STORE, 0) != 0) {
      Fail(z, "add");
    }
  }
  if (zip_close(z) != 0) Fail(z, "close");
}

std::vector<CentralRecord> ListCentralDirectory(std::string_view zip) {
  if (zip.size() < 22) throw std::runtime_error("too short for a zip archive");
  std::size_t end = zip.size() - 22;
  while (Get32(zip, end) != kEndSignature) {
    if (end == 0) throw std::runtime_error("no end of central directory");
    --end;
  }
  std::uint32_t count = Get16(zip, end + 10);
  std::uint32_t offset = Get32(zip, end + 16);
  if (count == 0xffff || offset == 0xffffffff) throw std::runtime_error("ZIP64 not handled");
  std::vector<CentralRecord> records;
  std::size_t at = offset;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (Get32(zip, at) != kCentralSignature) throw std::runtime_error("bad central header");
    CentralRecord r;
    r.central_offset = at;
    r.flags = static_cast<std::uint16_t>(Get16(zip, at + 8));
    r.method = static_cast<std::uint16_t>(Get16(zip, at + 10));
    r.crc = Get32(zip, at + 16);
    r.compressed_size = Get32(zip, at + 20);
    r.size = Get32(zip, at + 24);
    std::size_t name_length = Get16(zip, at + 28);
    std::size_t extra_length = Get16(zip, at + 30);
    std::size_t comment_length = Get16(zip, at + 32);
    r.local_offset = Get32(zip, at + 42);
    r.name = std::string(zip.substr(at + 46, name_length));
    if (Get32(zip, r.local_offset) != kLocalSignature) throw std::runtime_error("bad local header");
    r.data_offset =
        r.local_offset + 30 + Get16(zip, r.local_offset + 26) + Get16(zip, r.local_offset + 28);
    records.push_back(std::move(r));
    at += 46 + name_length + extra_length + comment_length;
  }
  return records;
}

CentralRecord FindRecord(std::string_view zip, std::string_view name) {
  for (CentralRecord& r : ListCentralDirectory(zip)) {
    if (r.name == name) return r;
  }
  throw std::runtime_error("no entry " + std::string(name));
}

void PatchCrc(std::string& zip, std::string_view name, std::uint32_t crc) {
  CentralRecord r = FindRecord(zip, name);
  Put32(zip, r.central_offset + 16, crc);
  Put32(zip, r.local_offset + 14, crc);
}

void PatchSizes(std::string& zip, std::string_view name, std::uint32_t compressed_size,
                std::uint32_t size) {
  CentralRecord r = FindRecord(zip, name);
  Put32(zip, r.central_offset + 20, compressed_size);
  Put32(zip, r.central_offset + 24, size);
  Put32(zip, r.local_offset + 18, compressed_size);
  Put32(zip, r.local_offset + 22, size);
}

void PatchLocalOffset(std::string& zip, std::string_view name, std::uint32_t offset) {
  CentralRecord r = FindRecord(zip, name);
  Put32(zip, r.central_offset + 42, offset);
}

void PatchName(std::string& zip, std::string_view name, std::string_view same_length) {
  if (same_length.size() != name.size()) throw std::logic_error("names differ in length");
  CentralRecord r = FindRecord(zip, name);
  zip.replace(r.central_offset + 46, name.size(), same_length);
  zip.replace(r.local_offset + 30, name.size(), same_length);
}

void PatchFlags(std::string& zip, std::string_view name, std::uint16_t flags) {
  CentralRecord r = FindRecord(zip, name);
  Put16(zip, r.central_offset + 8, flags);
  Put16(zip, r.local_offset + 6, flags);
}

void DamageData(std::string& zip, std::string_view name) {
  CentralRecord r = FindRecord(zip, name);
  std::size_t n = std::min<std::size_t>(r.compressed_size, 8);
  if (n == 0) throw std::logic_error("entry has no data to damage");
  for (std::size_t i = 0; i < n; ++i) zip.at(r.data_offset + i) = '\xff';
}

namespace {
std::size_t EndRecord(const std::string& zip) {
  const std::size_t end = zip.rfind(std::string("PK\5\6", 4));
  if (end == std::string::npos) throw std::runtime_error("no end record");
  return end;
}
}  // namespace

void PatchLocalOnly(std::string& zip, std::string_view name, LocalField field, std::uint32_t value) {
  Put32(zip, FindRecord(zip, name).local_offset + static_cast<std::size_t>(field), value);
}

void PatchLocalName(std::string& zip, std::string_view name, std::string_view same_length) {
  zip.replace(FindRecord(zip, name).local_offset + 30, same_length.size(), same_length);
}

void DropCentralRecord(std::string& zip, std::string_view name) {
  const std::vector<CentralRecord> records = ListCentralDirectory(zip);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].name != name) continue;
    const std::size_t from = records[i].central_offset;
    const std::size_t to = i + 1 < records.size() ? records[i + 1].central_offset : EndRecord(zip);
    zip.erase(from, to - from);
    const std::size_t end = EndRecord(zip);
    Put16(zip, end + 8, Get16(zip, end + 8) - 1);
    Put16(zip, end + 10, Get16(zip, end + 10) - 1);
    Put32(zip, end + 12, Get32(zip, end + 12) - static_cast<std::uint32_t>(to - from));
    return;
  }
  throw std::runtime_error("no record named " + std::string(name));
}

std::string DirectoryFirst(const std::string& zip) {
  const std::size_t end = EndRecord(zip);
  const std::size_t start = Get32(zip, end + 16);
  std::string directory = zip.substr(start, end - start);
  const auto shift = static_cast<std::uint32_t>(directory.size());
  for (std::size_t at = 0; at < directory.size();) {
    Put32(directory, at + 42, Get32(directory, at + 42) + shift);
    at += 46 + Get16(directory, at + 28) + Get16(directory, at + 30) + Get16(directory, at + 32);
  }
  std::string tail = zip.substr(end);
  Put32(tail, 16, 0);
  return directory + zip.substr(0, start) + tail;
}

std::uint32_t Crc32(std::string_view data) {
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  return static_cast<std::uint32_t>(crc);
}

}  // namespace rk5::test
