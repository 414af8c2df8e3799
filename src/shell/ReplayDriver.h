#pragma once
// The driver of a replay: it plays a recorded trace in place of a live world.
// The shell runs it like any driver: each frame's step moves the cursor on,
// drawing shows the recorded step's nodes (cubes in their colours, with
// shadows) and links (white lines), and the keys reach it through KeyDown.
// It has no worlds: nothing is simulated, nothing can be picked.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "experiment/PTester.h"
#include "record/TraceReader.h"
#include "shell/ReplayCursor.h"

namespace qm {

class ReplayDriver : public PTester {
  public:
    // Opens the trace and reads its first step. Throws record::RecordError
    // when it cannot be read at all or holds no whole step.
    ReplayDriver(RunContext& context, const std::string& tracePath);

    // Enter (kPauseKey), the Up and Down arrows (speed), Left and Right (one
    // step), Home (the start), as virtual-key codes.
    void KeyDown(int key) override;
    void Render(Device& device, NodeDrawing& drawing) override;
    // The mean position of the nodes on show (the origin when there are none).
    const Vector3& GetCentroid() const override { return centroid; }

    // Shows the `index`-th recorded step, or the last one when the trace
    // ends before it, and moves the cursor there. Returns the index shown.
    std::size_t Show(std::size_t index);
    // Reads the trace to its end: its whole steps.
    std::size_t CountSteps();

    // The goal of the recorded run, as its manifest says; nothing for a trace without one.
    std::optional<Vector3> Goal() const;

    const record::TraceFrame& Frame() const { return frame; }
    const ReplayCursor& Cursor() const { return cursor; }
    // Where the trace stops short ("" while it has not, or is whole).
    const std::string& Stopped() const { return reader.Stopped(); }
    // The line the window shows: step, position in the trace, speed, pause.
    std::string StatusLine() const;

  protected:
    void Load() override {}
    // Space and a dropped file go back to the start.
    void DoReset() override { cursor.Home(); }
    // One frame's move, then the step on show.
    void DoAction() override;
    void DoTest() override {}
    void DoHalt() override {}

  private:
    void Reached(std::size_t count);

    std::string path;
    record::TraceReader reader;
    ReplayCursor cursor;
    record::TraceFrame frame;  // the recorded step on show
    std::size_t shown = 0;
    Vector3 centroid;
    bool stopReported = false;
};

}  // namespace qm
