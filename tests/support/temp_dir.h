#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace dm::test {

// A fresh folder for each test, removed with its contents (made writable first) afterwards.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir_;
};

// The whole file's bytes; none when it cannot be read.
std::vector<uint8_t> readFile(const std::filesystem::path& path);

}  // namespace dm::test
