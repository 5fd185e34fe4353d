// The installed program: every file in place, and it starts from there and finds its hook library.
#include "PlayerOnTheBus.h"
#include "support/AudioFiles.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(Installation, PutsEveryFileInPlaceAndTheProgramStartsWithItsHook) {
  if (!std::getenv("DISPLAY"))
    GTEST_SKIP() << "needs an X server (make test runs these under xvfb-run)";
  const std::string prefix = lyt::test::scratchPath("prefix");
  const std::string install = std::string("cmake --install '") + LYT_BUILD_DIR + "' --prefix '" + prefix + "' > /dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0);
  for (const char *file :
       {"bin/lystrel2", "bin/lyt2-render", "lib/lystrel2/libTarvix2.so", "share/doc/lystrel2/Lyt2Help.html",
        "share/doc/lystrel2/help/full-mode.png", "share/applications/lystrel2.desktop",
        "share/icons/hicolor/scalable/apps/lystrel2.svg",
        "share/metainfo/io.github.lystrel2.Lystrel2.metainfo.xml", "share/doc/lystrel2/Lyt2Help-en.html",
        "share/doc/lystrel2/copyright", "share/doc/lystrel2/changelog.gz", "share/man/man1/lystrel2.1.gz",
        "lib/udev/rules.d/70-lystrel2-pedals.rules"})
    EXPECT_TRUE(std::filesystem::exists(prefix + "/" + file)) << file;
  const std::string validate = "appstreamcli validate --no-net '" + prefix +
                               "/share/metainfo/io.github.lystrel2.Lystrel2.metainfo.xml' > /dev/null";
  EXPECT_EQ(std::system(validate.c_str()), 0) << "the desktop's software centres accept the metainfo";

  const std::string runtime = lyt::test::scratchPath("install-run"), log = lyt::test::scratchPath("install.log");
  const std::string config = lyt::test::scratchPath("install-config");
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    unsetenv("LYSTREL2_INI");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    unsetenv("QT_QPA_PLATFORM");
    freopen(log.c_str(), "w", stderr);
    const std::string program = prefix + "/bin/lystrel2";
    execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  // It answers on the bus once its start-up, hook library and all, has finished.
  const bool started = lyt::test::waitUntil([] { return PlayerOnTheBus().answers(); });
  const bool listening = std::filesystem::exists(runtime + "/lystrel2/instance.sock");
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  std::stringstream errors;
  errors << std::ifstream(log).rdbuf();
  EXPECT_TRUE(started);
  EXPECT_TRUE(listening);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << errors.str();
  EXPECT_EQ(errors.str().find("cannot load"), std::string::npos) << errors.str();
  EXPECT_EQ(errors.str().find("hot keys do nothing"), std::string::npos) << errors.str();
  EXPECT_TRUE(std::filesystem::exists(config + "/lystrel2/Lyt2.ini")) << "settings kept with the user";
  EXPECT_FALSE(std::filesystem::exists(prefix + "/bin/Lyt2.ini")) << "not beside the installed program";
}

} // namespace
