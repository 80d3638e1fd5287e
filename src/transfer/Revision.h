// One version step of PatchCfg\Revision.xml and the packages that walk it.
#pragma once

#include <cstdint>
#include <string>

struct SPackageFile {
    std::string filename;
    std::uint64_t size = 0;
    bool hasSize = false;  // the table states a size
    std::string checksum;
    std::string checktype;
    // The step's delta package, when the table names one ("delta",
    // "deltasize", "deltachecksum"); launchers without delta support ignore it.
    std::string deltaFilename;
    std::uint64_t deltaSize = 0;
    bool hasDeltaSize = false;
    std::string deltaChecksum;
    // The delta package in the whole-file package's place.
    SPackageFile AsDelta() const
    {
        SPackageFile d;
        d.filename = deltaFilename;
        d.size = deltaSize;
        d.hasSize = hasDeltaSize;
        d.checksum = deltaChecksum;
        d.checktype = checktype;
        return d;
    }
};

struct SRevision {
    std::string interversion;  // the version this step leads up to
    std::string prevversion;   // the version below it
    std::uint32_t MicroBaseVersion = 0;
    SPackageFile upgrade;  // prevversion -> interversion
    SPackageFile degrade;  // interversion -> prevversion
};
