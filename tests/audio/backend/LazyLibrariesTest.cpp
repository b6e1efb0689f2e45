// Libraries opened on the first call of one of their functions: calls reach the
// library, a missing library or function is reported with its reason, and the
// program's own tables name only functions their libraries have.
#include "audio/LazyLibraries.h"
#include "audio/CodecLibraries.h"
#include "audio/PulseLibrary.h"

#include <gtest/gtest.h>

#include <barrier>
#include <cmath>
#include <thread>
#include <vector>

using sonalto::audio::LazyLibraries;

namespace {

using Unary = double (*)(double);

TEST(LazyLibraries, CallsReachTheLibraryFromManyThreadsAtOnce)
{
    const char *const files[] = {"libm.so.6"};
    const LazyLibraries::Function functions[] = {{0, "sqrt"}, {0, "exp2"}};
    LazyLibraries libraries(files, functions);
    // Every thread makes the first call at the same moment: none may see the
    // table before the library's functions are in it.
    constexpr int Threads = 8;
    std::barrier start(Threads);
    std::vector<double> results(Threads);
    std::vector<std::thread> threads;
    for (int i = 0; i < Threads; ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            results[i] = i % 2 ? libraries.call(Unary(&::sqrt), 0, 9.0)
                               : libraries.call(Unary(&::exp2), 1, 3.0);
        });
    for (std::thread &thread : threads)
        thread.join();
    for (int i = 0; i < Threads; ++i)
        EXPECT_EQ(results[i], i % 2 ? 3.0 : 8.0) << i;
}

TEST(LazyLibraries, ReportsAMissingLibraryOrFunctionWithItsName)
{
    const char *const files[] = {"libm.so.6", "libsonalto-absent.so.0", "libc.so.6"};
    const LazyLibraries::Function functions[] = {
        {0, "sqrt"}, {1, "absent"}, {2, "strlen"}, {2, "sonalto_absent"}};
    LazyLibraries libraries(files, functions);
    std::string error;
    EXPECT_TRUE(libraries.load(0, &error));
    EXPECT_EQ(error, "");

    EXPECT_FALSE(libraries.load(1, &error));
    EXPECT_NE(error.find("libsonalto-absent.so.0"), std::string::npos) << error;

    EXPECT_FALSE(libraries.load(2, &error));
    EXPECT_EQ(error, "程序库 libc.so.6 中缺少 sonalto_absent");

    // All of them: the first failure is the one reported.
    error.clear();
    EXPECT_FALSE(libraries.loadAll(&error));
    EXPECT_NE(error.find("libsonalto-absent.so.0"), std::string::npos) << error;
}

TEST(LazyLibraries, EndsTheProgramWhenACalledFunctionsLibraryIsMissing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char *const files[] = {"libsonalto-absent.so.0"};
    const LazyLibraries::Function functions[] = {{0, "sqrt"}};
    LazyLibraries libraries(files, functions);
    EXPECT_DEATH(libraries.call(Unary(&::sqrt), 0, 9.0),
                 "无法加载所需的程序库：.*libsonalto-absent\\.so\\.0");
}

TEST(LazyLibraries, TheProgramsLibrariesHaveEveryFunctionItCalls)
{
    std::string error;
    EXPECT_TRUE(sonalto::audio::loadPulseLibrary(&error)) << error;
    EXPECT_TRUE(sonalto::audio::loadCodecLibraries(&error)) << error;
}

} // namespace
