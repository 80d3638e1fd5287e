// One version step of PatchCfg\Revision.xml and the packages that walk it.
#pragma once

#include <cstdint>
#include <string>

struct SPackageFile {
    std::string filename;
    std::uint32_t size = 0;
    bool hasSize = false;  // the table states a size
    std::string checksum;
    std::string checktype;
};

struct SRevision {
    std::string interversion;  // the version this step leads up to
    std::string prevversion;   // the version below it
    std::uint32_t MicroBaseVersion = 0;
    SPackageFile upgrade;  // prevversion -> interversion
    SPackageFile degrade;  // interversion -> prevversion
};
