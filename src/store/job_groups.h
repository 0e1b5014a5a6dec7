#pragma once

#include "base/dialogs.h"
#include "store/jilu.h"

namespace lingchao {

inline constexpr const char* kGroupFilter = "存档文件(*.sav)|*.sav|";

// Saving the current group under a name, and making a saved group the current one. Whole files are copied;
// records are never read or converted.
class JobGroups final {
public:
    JobGroups(Jilu& jilu, Dialogs& dialogs) : jilu_(jilu), dialogs_(dialogs) {}

    // Copies "default.dll" to a chosen file; an existing one is replaced only after the user agrees.
    // True when a file was written.
    bool SaveGroup();
    // Optionally saves first, then copies a chosen group over "default.dll" and reloads the list.
    // True when the group was opened.
    bool OpenGroup();

    std::filesystem::path JobFolder() const { return jilu_.AppFolder() / "job"; }

private:
    Jilu& jilu_;
    Dialogs& dialogs_;
};

// A name typed without an extension gets ".sav".
std::string WithGroupExtension(const std::string& path);

}  // namespace lingchao
