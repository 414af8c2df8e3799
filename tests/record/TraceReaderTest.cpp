// The trace readers: both formats of the same run read back as the same
// steps (ids, positions, colours, parameters, lineage, links), every K-th step with --trace-every,
// the manifest, and any step in any order.

#include <gtest/gtest.h>

#include <string>

#include "record/RecordTestSupport.h"
#include "record/TraceReader.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

class TraceReaderTest : public test::SimFolderTest {};

TEST_F(TraceReaderTest, BothFormatsOfARunReadBackAsTheSameSteps) {
    const std::string gene =
        Put("gene.txt",
            "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) ) ( IFT ( GT ECOUNT 0.15 ) ( TDIVIDE ( 0 ) ) ) "
            "( SETCOLP 0 1 2 )");
    const std::string args = "--quiet --seed 2 --steps 100 --trace-every 7 --log l.log '" + gene + "'";
    ASSERT_EQ(Sim("run --trace t.jsonl " + args).status, 0);
    ASSERT_EQ(Sim("run --trace t.h5 " + args).status, 0);
    ASSERT_EQ(Sim("run --quiet --seed 2 --steps 100 --trace all.jsonl --log l.log '" + gene + "'").status, 0);
    const record::TraceContents json = record::ReadTrace(In("t.jsonl"));
    const record::TraceContents hdf5 = record::ReadTrace(In("t.h5"));
    const record::TraceContents all = record::ReadTrace(In("all.jsonl"));
    EXPECT_EQ(json.format, "json");
    EXPECT_EQ(hdf5.format, "hdf5");
    EXPECT_EQ(json.stopped + hdf5.stopped + all.stopped, "");
    EXPECT_NE(json.manifestJson.find("\"trace_every\":7}"), std::string::npos) << json.manifestJson;
    EXPECT_EQ(hdf5.manifestJson, json.manifestJson);
    ASSERT_EQ(all.frames.size(), 101u);
    ASSERT_EQ(json.frames.size(), 15u);  // steps 0, 7, ..., 98
    ASSERT_EQ(hdf5.frames.size(), json.frames.size());
    bool coloured = false, children = false, counted = false;
    for (std::size_t i = 0; i < json.frames.size(); ++i) {
        const record::TraceFrame& a = json.frames[i];
        const record::TraceFrame& b = hdf5.frames[i];
        const record::TraceFrame& every = all.frames[7 * i];
        EXPECT_EQ(a.step, static_cast<long long>(7 * i));
        EXPECT_EQ(b.step, a.step);
        EXPECT_EQ(every.step, a.step);
        ASSERT_EQ(b.nodes.size(), a.nodes.size());
        ASSERT_EQ(every.nodes.size(), a.nodes.size());
        for (std::size_t k = 0; k < a.nodes.size(); ++k) {
            EXPECT_EQ(b.nodes[k].id, a.nodes[k].id);
            EXPECT_EQ(b.nodes[k].pos, a.nodes[k].pos);
            EXPECT_EQ(b.nodes[k].color, a.nodes[k].color);
            EXPECT_EQ(b.nodes[k].param, a.nodes[k].param);
            EXPECT_EQ(b.nodes[k].parent, a.nodes[k].parent);
            EXPECT_EQ(b.nodes[k].born, a.nodes[k].born);
            EXPECT_EQ(every.nodes[k].pos, a.nodes[k].pos);
            coloured = coloured || a.nodes[k].color.x != 0.0f;
            const record::TraceNode& n = a.nodes[k];
            counted = counted || n.param[0] > 0.0f;  // the gene adds to P0 every turn
            children = children || n.parent >= 0;
        }
        EXPECT_EQ(b.links, a.links);
        EXPECT_EQ(every.links, a.links);
    }
    EXPECT_TRUE(coloured);
    EXPECT_TRUE(children);
    EXPECT_TRUE(counted);
    EXPECT_GT(json.frames.back().links.size(), 10u);
}

TEST_F(TraceReaderTest, StepsCanBeReadInAnyOrder) {
    const std::string gene = Put("gene.txt", "PROG2 ( SETP ( 0 ADD ( GETP 0 ) 0.02 ) ) ( GDIVIDE ( 0 ) )");
    ASSERT_EQ(
        Sim("run --quiet --seed 3 --steps 150 --trace t.jsonl --trace-every 10 --log l.log '" + gene + "'")
            .status,
        0);
    ASSERT_EQ(Sim("run --quiet --seed 3 --steps 150 --trace t.h5 --trace-every 10 --log l.log '" + gene + "'")
                  .status,
              0);
    for (const char* name : {"t.jsonl", "t.h5"}) {
        const record::TraceContents inOrder = record::ReadTrace(In(name));
        ASSERT_EQ(inOrder.frames.size(), 16u);
        record::TraceReader reader(In(name));
        record::TraceFrame frame;
        for (std::size_t i : {12u, 3u, 15u, 0u, 12u}) {
            ASSERT_TRUE(reader.Read(i, frame)) << name << " " << i;
            EXPECT_EQ(frame.step, inOrder.frames[i].step);
            ASSERT_EQ(frame.nodes.size(), inOrder.frames[i].nodes.size());
            EXPECT_EQ(frame.links, inOrder.frames[i].links);
        }
        EXPECT_FALSE(reader.Read(16, frame));
        EXPECT_TRUE(reader.Finished());
        EXPECT_EQ(reader.StepsFound(), 16u);
        EXPECT_EQ(reader.Stopped(), "");
    }
}

}  // namespace
}  // namespace qm
