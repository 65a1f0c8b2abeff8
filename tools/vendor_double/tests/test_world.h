// A temporary world folder for the double's tests: scenario.json and a stand-in program file.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vendor_double {

class TestWorld {
public:
    TestWorld() {
        char pattern[] = "/tmp/vendor-double-test.XXXXXX";
        dir_ = ::mkdtemp(pattern);
        writeFile("standin_installer.exe", "MZ stand-in program");
    }
    ~TestWorld() { std::filesystem::remove_all(dir_); }
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    void writeFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    void scenario(const std::string& json) const { writeFile("scenario.json", json); }
    std::string readFile(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string dir_;
};

}  // namespace vendor_double
