#pragma once
// One tool section of "Local.ini" as the list shows it, and the rules for its state.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_keys.h"
#include "ini/ini_document.h"
#include "platform/icon_extraction.h"

namespace rk5 {

// A 32 × 32 picture of a tool's icon, pixels 0xAARRGGBB row by row from the top: the
// picture the platform extracts, the same type.
using IconBitmap = platform::IconPicture;

struct TProgram {
  std::string Name;
  std::string Version;
  std::string OVersion;
  std::string ExeName;
  std::string ReadMe;
  std::string Path;
  std::string By;
  int32_t Build = 0;
  int32_t OBuild = 0;
  bool Installed = false;
  bool Outdated = false;
  std::string DL;
  std::string Section;
  // Both exist or neither; made only when Path + ExeName is an existing file.
  std::unique_ptr<IconBitmap> IconSelected;
  std::unique_ptr<IconBitmap> IconNormal;
};

// Builds an entry's two icon bitmaps; called at its place in the filling order.
using IconBuilder = std::function<void(TProgram&)>;

// Outdated when the offer's build is newer; only an Installed value of 1 is installed.
void ApplyStateRules(TProgram& entry, int32_t installed);

// Fills an entry from its section with the defaults of the local catalogue.
TProgram FillProgram(const IniDocument& local, std::string_view section,
                     const IconBuilder& build_icons = {});

// Every tool section in file order, the program's own section skipped.
std::vector<TProgram> LoadPrograms(const IniDocument& local, const IconBuilder& build_icons = {});

}  // namespace rk5
