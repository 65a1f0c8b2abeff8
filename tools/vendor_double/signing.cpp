#include "signing.h"

#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <vector>

extern char** environ;

namespace vendor_double {
namespace {

constexpr std::array<std::pair<std::string_view, PackageSignature>, 6> kNames{{
    {"vendor", PackageSignature::Vendor},
    {"none", PackageSignature::None},
    {"other-signer", PackageSignature::OtherSigner},
    {"altered", PackageSignature::Altered},
    {"unknown-ca", PackageSignature::UnknownCa},
    {"no-issuer", PackageSignature::NoIssuer},
}};

// The certificate a signature is made with (code-<name>.pem and .key).
std::string certificateOf(PackageSignature signature) {
    switch (signature) {
        case PackageSignature::OtherSigner:
            return "other";
        case PackageSignature::UnknownCa:
            return "unknown-ca";
        case PackageSignature::NoIssuer:
            return "no-issuer";
        default:
            return "vendor";
    }
}

bool fileSize(const std::string& path, std::uint64_t& size) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

// One byte inside the signed content turned over: the signature no longer matches the file.
bool alterByte(const std::string& path, std::uint64_t offset) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    char byte = 0;
    if (!file.seekg(static_cast<std::streamoff>(offset)) || !file.get(byte)) return false;
    byte = static_cast<char>(~byte);
    return static_cast<bool>(file.seekp(static_cast<std::streamoff>(offset)).put(byte).flush());
}

int run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);  // into the log
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Packages made from another build of the program are of no more use: each can be 200 MiB.
void removeOtherBuilds(const std::string& folder, const std::string& stampPrefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0 &&
            name.rfind(stampPrefix, 0) != 0) {
            ::unlink((folder + "/" + name).c_str());
        }
    }
    ::closedir(dir);
}

}  // namespace

std::optional<PackageSignature> parsePackageSignature(std::string_view name) {
    for (const auto& [text, signature] : kNames)
        if (text == name) return signature;
    return std::nullopt;
}

std::string_view packageSignatureName(PackageSignature signature) {
    for (const auto& [text, value] : kNames)
        if (value == signature) return text;
    return {};
}

bool writeBody(const Body& body, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(1 << 20);
    std::uint64_t offset = 0;
    while (out && offset < body.size()) {
        const std::size_t n = body.read(offset, buffer.data(), buffer.size());
        if (n == 0) return false;
        out.write(buffer.data(), static_cast<std::streamsize>(n));
        offset += n;
    }
    return static_cast<bool>(out.flush());
}

bool PackageSigner::signFile(const std::string& certificate, const std::string& in,
                             const std::string& out) {
    const std::string base = signing_.certificateDir + "/code-" + certificate;
    ::unlink(out.c_str());
    const int code = run({"osslsigncode", "sign", "-certs", base + ".pem", "-key", base + ".key",
                          "-h", "sha256", "-n", "Tamrix", "-in", in, "-out", out});
    if (code != 0) std::fprintf(stderr, "vendor_double: osslsigncode ended with %d\n", code);
    return code == 0;
}

std::optional<std::uint64_t> PackageSigner::overhead(
    const std::string& certificate, const std::function<BodyPtr(std::uint64_t)>& compose,
    std::uint64_t minimumSize) {
    if (const auto it = overheads_.find(certificate); it != overheads_.end()) return it->second;
    const std::uint64_t probeSize = (minimumSize + 7) / 8 * 8;
    const std::string in = signing_.cacheDir + "/probe-" + std::to_string(::getpid()) + ".exe";
    const std::string out = in + ".signed";
    std::uint64_t signedSize = 0;
    const BodyPtr probe = compose(probeSize);
    const bool ok = probe && writeBody(*probe, in) && signFile(certificate, in, out) &&
                    fileSize(out, signedSize) && signedSize > probeSize;
    ::unlink(in.c_str());
    ::unlink(out.c_str());
    if (!ok) return std::nullopt;
    overheads_[certificate] = signedSize - probeSize;
    return signedSize - probeSize;
}

BodyPtr PackageSigner::sign(const std::string& key, std::uint64_t size, PackageSignature signature,
                            const std::function<BodyPtr(std::uint64_t)>& compose,
                            std::uint64_t minimumSize) {
    const std::string path = signing_.cacheDir + "/" + key + "-" + std::to_string(size) + "-" +
                             std::string(packageSignatureName(signature)) + ".exe";
    std::lock_guard lock(mutex_);
    if (BodyPtr cached = fileBody(path)) return cached;
    ::mkdir(signing_.cacheDir.c_str(), 0755);
    removeOtherBuilds(signing_.cacheDir, key.substr(0, key.find('-') + 1));
    const std::string certificate = certificateOf(signature);
    const auto added = overhead(certificate, compose, minimumSize);
    if (!added) return nullptr;
    std::uint64_t target = size > *added + minimumSize ? size - *added : minimumSize;
    target -= target % 8;
    if (target < minimumSize) target += 8;
    // Made under names of this process and put in place whole: worlds run side by side.
    const std::string in = path + "." + std::to_string(::getpid()) + ".in";
    const std::string out = path + "." + std::to_string(::getpid()) + ".out";
    const BodyPtr content = compose(target);
    bool ok = content && writeBody(*content, in) && signFile(certificate, in, out);
    // A byte of the padding between program and trailer: covered by the signature, and harmless
    // to the program.
    if (ok && signature == PackageSignature::Altered) {
        ok = alterByte(out, (minimumSize + target) / 2);
    }
    ::unlink(in.c_str());
    if (!ok || std::rename(out.c_str(), path.c_str()) != 0) {
        ::unlink(out.c_str());
        return nullptr;
    }
    return fileBody(path);
}

}  // namespace vendor_double
