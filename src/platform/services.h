#pragma once
// The operating-system services of a run, one object each. main() makes the bundle once
// (MakeSystemServices) and the window factory hands each window the members it uses; a
// test fills a bundle of its own with scratch or fake members.
#include <functional>
#include <memory>
#include <string>

#include "platform/busy_marks.h"
#include "platform/file_attributes.h"
#include "platform/file_copy.h"
#include "platform/file_moves.h"
#include "platform/file_times.h"
#include "platform/file_tree.h"
#include "platform/free_space.h"
#include "platform/icon_extraction.h"
#include "platform/launcher_files.h"
#include "platform/program_start.h"
#include "platform/registry.h"
#include "platform/staged_file.h"

namespace rk5::platform {

struct Services {
  std::unique_ptr<Registry> registry;
  std::unique_ptr<IconExtraction> icons;
  std::unique_ptr<ProgramStart> program_start;
  std::unique_ptr<BusyMarks> busy_marks;
  std::unique_ptr<LauncherFiles> launcher_files;
  std::unique_ptr<FileCopy> file_copy;
  // What unpacking writes through.
  std::unique_ptr<FileTree> file_tree;
  std::unique_ptr<FileStager> file_stager;
  std::unique_ptr<FileTimes> file_times;
  std::unique_ptr<FileAttributes> file_attributes;
  std::unique_ptr<FreeSpace> free_space;
  // What an installation moves, walks and removes.
  std::unique_ptr<FileMoves> file_moves;
};

// Makes a registry kept in the named file. A system without a registry of its own keeps
// the program's keys in one; the INI engine above this layer provides it.
using FileRegistryMaker = std::function<std::unique_ptr<Registry>(const std::string& file)>;

// The services of the system we run on. creation_mask: the user's file-creation mask, read
// once before any thread starts (ReadCreationMaskAtStart); launcher_icon: the program's
// own icon picture (PNG bytes) for launchers of files without one, empty for none.
Services MakeSystemServices(const FileRegistryMaker& registry_in_file, unsigned creation_mask,
                            const std::string& launcher_icon = {});

}  // namespace rk5::platform
