// The world's constants as a user sets them: refused when unsound, exact at
// the defaults, recorded in the manifest, kept by a resumed run.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "base/Physics.h"
#include "record/Manifest.h"
#include "record/RecordTestSupport.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::Outcome;

class PhysicsTest : public test::SimFolderTest {
  protected:
    // The summary without its manifest: what the run did.
    static std::string Result(const Outcome& o) { return o.out.substr(0, o.out.find(",\"manifest\"")); }
    // The summary without its wall time, which no two runs share.
    static std::string Timeless(const Outcome& o) { return o.out.substr(0, o.out.find(",\"wall_seconds\"")); }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(PhysicsTest, AnUnsoundSettingIsRefusedNamingItsKeyValueAndRange) {
    const std::string gene = Data("source.txt");
    Put("string.toml", "gravity = \"weak\"\n");
    Put("unknown.toml", "drag = 0.02\ngravty = 0.5\n");
    Put("broken.toml", "gravity = = 1\n");
    ASSERT_EQ(Sim("run --seed 1 --steps 20 --checkpoint-every 10 --checkpoint-dir ck " + gene).status, 0);
    struct Case {
        std::string arguments;
        std::string said;
    };
    const std::vector<Case> cases = {
        {"run --set gravty=1",
         "--set gravty=1: unknown physics key 'gravty'; the keys are spring_stiffness,"},
        {"run --set drag=-1", "--set drag=-1: drag = -1 is outside its range, 0 to 1"},
        {"run --set drag=nan", "drag = nan is outside its range, 0 to 1"},
        {"run --set max_velocity=inf", "max_velocity = inf is outside its range, 0 to 24"},
        {"run --set gravity=weak", "gravity takes a number, not 'weak'"},
        {"run --set gravity", "takes KEY=VALUE"},
        {"run --set gravity=0.01,0.02", "a run takes one value per key"},
        {"run --set link_length_min=9", "link_length_min is more than link_length_max"},
        {"run --physics string.toml", "string.toml:1: gravity takes a number, not a string"},
        {"run --physics unknown.toml", "unknown.toml:2: unknown physics key 'gravty'"},
        {"run --physics broken.toml", "broken.toml:1:"},
        {"run --physics missing.toml", "missing.toml: cannot read it"},
        {"evolve --set gravity=2 --generations 1 --out e", "gravity = 2 is outside its range, 0 to 1"},
        {"run --resume ck/step-00000010.h5 --steps 20 --set gravity=0.02",
         "--physics and --set change it only with --physics-override"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const bool resume = Has(c.arguments, "--resume");
        const Outcome o = Sim(c.arguments + (resume || Has(c.arguments, "evolve") ? "" : " " + gene));
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(Has(o.err, c.said)) << o.err;
        EXPECT_TRUE(o.out.empty()) << o.out;
    }
}

TEST_F(PhysicsTest, TheDefaultsGivenChangeNothingAndAnotherValueChangesTheRun) {
    const std::string gene = Data("source.txt");
    std::string defaults;  // every key at its default, as a file
    ForEachPhysicsKey([&](const char* key, auto member, double, double) {
        defaults += std::string(key) + " = " + PhysicsValueText(DefaultPhysics().*member) + "\n";
    });
    Put("defaults.toml", defaults);
    const Outcome plain = Sim("run --seed 7 --steps 300 --quiet " + gene);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_TRUE(Has(plain.out, "\"physics\":" + record::PhysicsJson(DefaultPhysics()))) << plain.out;
    for (const char* given :
         {"--set gravity=0.01", "--physics defaults.toml", "--set spring_stiffness=2e-2"}) {
        SCOPED_TRACE(given);
        const Outcome o = Sim("run --seed 7 --steps 300 --quiet " + std::string(given) + " " + gene);
        EXPECT_EQ(Timeless(o), Timeless(plain));
    }
    // The file first, then each --set over it, in order.
    Put("weak.toml", "gravity = 0.002\ndrag = 0.05\n");
    const Outcome weak =
        Sim("run --seed 7 --steps 300 --quiet --physics weak.toml --set drag=0.04 --set drag=0 " + gene);
    ASSERT_EQ(weak.status, 0) << weak.err;
    EXPECT_NE(Result(weak), Result(plain));
    EXPECT_TRUE(Has(weak.out, "\"gravity\":0.002,\"drag\":0,")) << weak.out;
}

TEST_F(PhysicsTest, AResumedRunKeepsItsPhysicsUnlessOverriddenAndThenSaysSo) {
    const std::string gene = Data("source.txt");
    const std::string weak = " --set gravity=0.004 --set max_velocity=5";
    const Outcome straight =
        Sim("run --seed 3 --steps 120 --quiet --checkpoint-every 60 --checkpoint-dir ck" + weak + " " + gene);
    ASSERT_EQ(straight.status, 0) << straight.err;
    const Outcome resumed = Sim("run --resume ck/step-00000060.h5 --steps 120 --quiet --log l.txt");
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(Result(resumed), Result(straight));
    EXPECT_TRUE(Has(resumed.out, "\"gravity\":0.004,")) << resumed.out;

    const Outcome changed =
        Sim("run --resume ck/step-00000060.h5 --steps 120 --quiet --log l.txt --physics-override" +
            std::string(" --set gravity=0.02"));
    ASSERT_EQ(changed.status, 0) << changed.err;
    EXPECT_NE(Result(changed), Result(straight));
    // The override replaces the whole physics: what is not set is the default.
    EXPECT_TRUE(Has(changed.out, "\"gravity\":0.02,")) << changed.out;
    EXPECT_TRUE(Has(changed.out, "\"max_velocity\":20,")) << changed.out;
    EXPECT_TRUE(Has(changed.out, "\"physics_override\":true")) << changed.out;
    // Resumed from the folder (its newest checkpoint, step 120), the override holds alike.
    const Outcome folder =
        Sim("run --resume ck --steps 150 --quiet --log l.txt --physics-override --set gravity=0.02");
    ASSERT_EQ(folder.status, 0) << folder.err;
    EXPECT_TRUE(Has(folder.out, "\"gravity\":0.02,")) << folder.out;
    EXPECT_TRUE(Has(folder.out, "\"physics_override\":true")) << folder.out;
}

}  // namespace
}  // namespace qm
