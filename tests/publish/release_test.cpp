// The publisher's signing steps (keygen, sign, verify) on a release folder, with throwaway keys
// made by the test, and what lint and plan say about the index.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "tools/publish/lint.h"
#include "tools/publish/plan_command.h"
#include "tools/publish/plan_release.h"
#include "tools/publish/release_command.h"
#include "tools/publish/release_keys.h"

namespace {

namespace fs = std::filesystem;

const std::string kMark = "\xEF\xBB\xBF";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome Command(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = RunReleaseCommand(args, out, err);
    return {status, out.str(), err.str()};
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// An upgrade manifest with the updater's entry and, unless `pinnace` is empty, the tray
// companion's at that install file.
std::string Upgrade(const std::string& pinnace) {
    return kMark + "<UpdateList><tallix><version>3.2.0.17</version><installfile>/keldra/" +
           "tallix.exe</installfile></tallix>" +
           (pinnace.empty() ? ""
                            : "<pinnace><version>2.1.0.1</version><installfile>" + pinnace +
                                  "</installfile></pinnace>") +
           "</UpdateList>";
}

// A release folder with its manifests and packages, and three throwaway keys: a and b are the
// updater's, c is no key of it.
class Release : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        keys_ = fs::temp_directory_path() / ("release-keys-" + std::to_string(::getpid()));
        fs::remove_all(keys_);
        fs::create_directories(keys_);
        for (const char* name : {"a", "b", "c"}) {
            ASSERT_EQ(Command({"keygen", (keys_ / name).string(), "--bits", "2048"}).status, 0);
        }
    }
    static void TearDownTestSuite() { fs::remove_all(keys_); }

    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("release-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        Write(dir_ / "keldra" / "tallix.xml",
              kMark + "<TallixSet><upkeldra6>0</upkeldra6></TallixSet>");
        Write(dir_ / "keldra" / "upgrade.xml", Upgrade("/packages/pinnace.exe"));
        Write(dir_ / "keldra" / "tallix.exe", "the updater");
        Write(dir_ / "packages" / "pinnace.exe", "the tray companion");
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string Key(const char* name, const char* kind) {
        return (keys_ / (std::string(name) + kind)).string();
    }
    Outcome Sign(const std::string& release, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"sign", dir_.string(), "--release", release, "--expires", "30d",
                                   "--key", Key("a", ".key"), "--key", Key("b", ".key")});
        return Command(more);
    }
    Outcome Verify(std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"verify", dir_.string(), "--key", Key("a", ".pub"), "--key",
                                   Key("b", ".pub"), "--threshold", "2"});
        return Command(more);
    }
    fs::path Index() const { return dir_ / "keldra" / "release.txt"; }

    static fs::path keys_;
    fs::path dir_;
};

fs::path Release::keys_;

TEST_F(Release, KeygenSignAndVerifyAndWhatEachRefuses) {
    // keygen: the private key is its owner's only, and an existing pair is never overwritten.
    struct stat info {};
    ASSERT_EQ(stat(Key("a", ".key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string before = Read(Key("a", ".key"));
    const Outcome again = Command({"keygen", (keys_ / "a").string(), "--bits", "2048"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("not overwritten"), std::string::npos) << again.err;
    EXPECT_EQ(Read(Key("a", ".key")), before);
    EXPECT_EQ(Command({"keygen", "x", "--bits", "1024"}).status, 2);

    // sign: every manifest and named package, signed by each key; verify takes it.
    const Outcome signed5 = Sign("5");
    ASSERT_EQ(signed5.status, 0) << signed5.err;
    const std::string index = Read(Index());
    EXPECT_NE(index.find("release 5\n"), std::string::npos);
    EXPECT_NE(index.find("manifest /keldra/upgrade.xml "), std::string::npos);
    EXPECT_NE(index.find("package /packages/pinnace.exe 18 "), std::string::npos);
    EXPECT_EQ(ParseReleaseIndex(reinterpret_cast<const unsigned char*>(index.data()), index.size())
                  ->signatures.size(),
              2u);
    const Outcome verified = Verify();
    EXPECT_EQ(verified.status, 0) << verified.out;
    EXPECT_NE(verified.out.find("release 5 verified"), std::string::npos) << verified.out;

    // sign refuses, writing nothing: a number that does not rise (here or where --previous
    // points), a package missing from the folder, an expiry in the past, a key given twice.
    const std::tuple<const char*, std::string, std::vector<std::string>> refusals[] = {
        {"does not rise above release 5", "5", {}},
        {"does not rise above release 5", "3", {}},
        {"has passed", "6", {"--expires", "2020-01-01T00:00:00Z"}},
        {"a key given twice", "6", {"--key", Key("a", ".key")}},
        {"is not an RSA private key", "6", {"--key", Key("c", ".pub")}},
    };
    for (const auto& [why, release, more] : refusals) {
        const Outcome refused = Sign(release, more);
        EXPECT_EQ(refused.status, 1) << why;
        EXPECT_NE(refused.err.find(why), std::string::npos) << refused.err;
        EXPECT_EQ(Read(Index()), index) << why;
    }
    fs::remove(dir_ / "packages" / "pinnace.exe");
    const Outcome missing = Sign("6");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("is not in the folder"), std::string::npos) << missing.err;
    EXPECT_EQ(Read(Index()), index);
}

TEST_F(Release, VerifyNamesWhatFails) {
    ASSERT_EQ(Sign("6").status, 0);
    const auto finds = [&](const Outcome& run, const std::string& text) {
        EXPECT_EQ(run.status, 1) << text;
        EXPECT_NE(run.out.find(text), std::string::npos) << run.out;
    };
    finds(Verify({"--last-release", "7"}), "release 6 is below release 7");
    const Outcome unknown = Command({"verify", dir_.string(), "--key", Key("c", ".pub")});
    finds(unknown, "0 of the 1 signatures");
    finds(unknown, "is not one of the given keys");

    // One signature where two are needed.
    ASSERT_EQ(Command({"sign", dir_.string(), "--release", "7", "--expires", "30d", "--key",
                       Key("a", ".key")})
                  .status,
              0);
    finds(Verify(), "1 of the 2 signatures");

    // An index past its expiry and grace (written and signed here: sign refuses such a date).
    ReleaseIndex old;
    old.release = 8;
    old.expires = 86400;
    std::string body = FormatReleaseIndexBody(old);
    std::string error;
    for (const char* name : {"a", "b"}) {
        const auto key = ReleaseKey::LoadPrivate(Key(name, ".key"), error);
        ASSERT_TRUE(key) << error;
        const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
        body += FormatSignatureLine({key->Id(), key->Sign(bytes, body.size())});
    }
    Write(Index(), body);
    finds(Verify(), "expired on 1970-01-02T00:00:00Z");

    // A manifest and a package changed after signing.
    fs::remove(Index());
    ASSERT_EQ(Sign("9").status, 0);
    Write(dir_ / "packages" / "pinnace.exe", "another tray companion");
    finds(Verify(), "/packages/pinnace.exe");
    Write(dir_ / "keldra" / "upgrade.xml", kMark + "<UpdateList/>");
    finds(Verify(), "taken as not fetched (every check of this variant ends");
}

// A manifest names the packages, and anyone who answers for its host writes it: sign reads only
// plain files below the release folder (a path that climbs out, or a pipe that never ends, is a
// package that is not there).
TEST_F(Release, SignReadsOnlyPlainFilesBelowTheFolder) {
    const fs::path outside = dir_.string() + "-outside.exe";
    Write(outside, "not the publisher's");
    ASSERT_EQ(::mkfifo((dir_ / "packages" / "pipe.exe").c_str(), 0600), 0);
    const std::string climbing = "/packages/../../" + outside.filename().string();
    for (const std::string& path : {climbing, std::string("/packages/pipe.exe")}) {
        Write(dir_ / "keldra" / "upgrade.xml", Upgrade(path));
        const Outcome run = Sign("6");
        EXPECT_NE(run.status, 0) << path;
        EXPECT_NE(run.err.find("is not in the folder"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(Index())) << path;
    }
    fs::remove(outside);
}

TEST_F(Release, LintAndPlanKnowTheIndex) {
    const auto lint = [&] {
        LintOptions options;
        options.downloadOrigin = L"http://down.orvane.com";
        options.releaseVersion = L"3.2.0.17";
        std::multiset<std::string> codes;
        for (const Finding& f : LintRelease(LoadRelease(ManifestSource(dir_.string())), options)) {
            if (f.code.rfind("index", 0) == 0)
                codes.insert(f.code);
        }
        return codes;
    };
    EXPECT_TRUE(lint().empty());  // no index: nothing to say about one
    ASSERT_EQ(Sign("1").status, 0);
    EXPECT_TRUE(lint().empty());
    Write(dir_ / "keldra" / "upgrade.xml", kMark + "<UpdateList/>");
    EXPECT_EQ(lint(), std::multiset<std::string>{"index-mismatch"});
    const std::string index = Read(Index());
    Write(Index(), index.substr(0, index.find("signature ")));
    EXPECT_EQ(lint(), (std::multiset<std::string>{"index-mismatch", "index-unsigned"}));
    Write(Index(), "tallix-release-index 1\n");
    EXPECT_EQ(lint(), std::multiset<std::string>{"index-form"});

    // The plan of an updater with keys asks for the index first, and a refused index ends it.
    fs::remove(Index());
    Write(dir_ / "keldra" / "upgrade.xml", Upgrade(""));
    ASSERT_EQ(Sign("2").status, 0);
    const fs::path profile = dir_ / "machine.json";
    Write(profile, R"({"name": "m", "files": {"keldra.exe": "5.9.2.1"}})");
    const auto plan = [&](unsigned threshold) {
        ReleaseKeysOption keys{{Key("a", ".pub"), Key("c", ".pub")}, threshold};
        std::ostringstream out, err;
        RunPlanCommand(dir_.string(), {profile.string()}, "-keldra -silent", false, PublishHosts(),
                       true, out, err, &keys);
        return out.str();
    };
    const std::string accepted = plan(1);
    EXPECT_NE(accepted.find(R"("requests":["/keldra/release.txt","/keldra/tallix.xml",)"),
              std::string::npos)
        << accepted;
    const std::string refused = plan(2);
    EXPECT_NE(refused.find(R"("requests":["/keldra/release.txt"])"), std::string::npos) << refused;
    EXPECT_NE(refused.find("the check ends as if the manifest host could not be reached"),
              std::string::npos);
    EXPECT_NE(refused.find("1 of the 2 signatures needed"), std::string::npos);
}

}  // namespace
