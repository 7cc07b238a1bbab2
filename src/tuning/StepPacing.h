#pragma once

// When a fixed-step algorithm steps: on every tick until the estimate first
// reaches or crosses the target, then only once per new estimate. Past the
// target a step taken on an estimate of a value already left overshoots.
class StepPacing
{
public:
    // A new note.
    void restart();
    // The estimate hz lies `difference` off the target, outside the window:
    // true when a step is due now (and counted as taken).
    bool isStepDue (float hz, float difference);
    // The estimate lies within the window.
    void reachedTarget() { approaching = false; }

private:
    float steppedOn = -1.0f;   // none yet for this note
    bool approaching = true;
    float approachSign = 0.0f;
};
