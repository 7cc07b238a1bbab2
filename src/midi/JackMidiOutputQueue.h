#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <vector>

// What one JACK MIDI output port still has to send, and when.
//
// Each record carries the time at which it was handed over (microseconds on
// the server's clock) and is written one period later at the matching offset
// of a cycle: a cycle lasts 10 ms or more, so writing everything at its start
// would turn runs paced a few milliseconds apart into bursts. Nor does a
// record go out sooner after the previous one than it was handed over after
// it: a cycle that starts late leaves the frames behind the clock, and a
// mapping of times to frames alone would squeeze the gap across it.
//
// A closed queue drains on its own: the process callback keeps writing its
// records to the old destination, and housekeeping on a normal thread retires
// it once the peer has had time to read the last of them, or once a bound has
// passed, and empties it before it can be claimed again, so that leftovers
// never reach the next destination.
//
// Threads: push from the senders, serialised by the caller; writeCycle from
// the process callback only (lock-free, allocation-free); close from the
// owner of the port; claim, unclaim, reopen and the housekeeping from normal
// threads, serialised by the caller.
class JackMidiOutputQueue
{
public:
    enum class State
    {
        free,      // claimable; empty
        open,      // takes records
        closing,   // takes nothing; still written out
        retiring   // left alone by the process callback until emptied
    };

    // How long a closed queue may keep its destination waiting.
    static constexpr juce::uint32 drainBoundMs = 500;
    // A record due further ahead than this many cycles cannot carry this
    // server's time (a clock or the frame counter jumped): it goes out at once.
    static constexpr int maxLeadCycles = 8;
    // Records handed over further apart than this are not one paced run.
    static constexpr juce::uint32 maxKeptGapUs = 1000000;
    static constexpr int laterCycle = -1;
    // Longer runs go out as several events; the receiver joins SysEx again.
    static constexpr int maxRecordBytes = 1024;

    struct Cycle
    {
        juce::uint32 startFrame = 0;   // the frame counter at its start
        juce::uint32 startUs = 0;      // when it started, on the stamps' clock
        juce::uint32 frames = 0;
        double sampleRate = 48000.0;
    };

    // Where the port's previous record went out, and its stamp.
    struct Previous
    {
        bool valid = false;
        juce::uint32 frame = 0;
        juce::uint32 stamp = 0;
    };

    // The offset within `cycle` of a record stamped `stamp`: one period after
    // the stamp, no sooner after `previous` than it was stamped after it,
    // clamped to the cycle and not before `earliest` (the offset of the
    // port's previous event in this cycle). laterCycle when it belongs to a
    // later cycle.
    static int offsetInCycle (juce::uint32 stamp, const Cycle& cycle, const Previous& previous, juce::uint32 earliest) noexcept;

    explicit JackMidiOutputQueue (int capacityBytes = 1 << 18);

    State getState() const noexcept { return state.load(); }

    // free -> open; false when the queue is not free.
    bool claim() noexcept;
    // open -> free, for a claim that came to nothing before anything was pushed.
    void unclaim() noexcept;
    // closing -> open: a port closed and opened again to the same destination
    // goes on where it left off.
    bool reopen() noexcept;
    // open -> closing.
    void close (juce::uint32 nowMs) noexcept;

    // Splits runs into records of at most maxRecordBytes, all stamped with
    // stampUs. False, with nothing queued, when the queue is not open or has
    // no room for the whole run.
    bool push (const juce::uint8* data, int size, juce::uint32 stampUs);

    // One process cycle: writes the records due in it through
    // reserve (offset, size), which returns where the bytes go or null when
    // the cycle's buffer is full (the rest waits for the next cycle).
    // Called every cycle, whatever the state: it also counts the cycles.
    template <typename Reserve>
    void writeCycle (const Cycle& timing, Reserve&& reserve) noexcept
    {
        const auto cycle = cyclesSeen.load() + 1;
        const auto s = state.load();
        if ((s == State::open || s == State::closing) && fifo.getNumReady() > 0)
        {
            // Stored before anything is taken: housekeeping that finds the
            // queue empty then also sees that this cycle wrote to it.
            lastBusyCycle.store (cycle);
            juce::uint32 earliest = 0;
            Header header;
            while (peekHeader (header))
            {
                const auto offset = offsetInCycle (header.stamp, timing, previous, earliest);
                if (offset == laterCycle)
                    break;
                auto* target = reserve ((juce::uint32) offset, (size_t) header.size);
                if (target == nullptr)
                    break;
                takeRecord (target, header.size);
                earliest = (juce::uint32) offset;
                previous = { true, timing.startFrame + (juce::uint32) offset, header.stamp };
            }
        }
        cyclesSeen.store (cycle);
    }

    // Nothing left, and the peer has had two whole cycles to read the last
    // of it.
    bool isDrained() const noexcept;

    // Housekeeping. closing -> retiring once drained, once drainBoundMs have
    // passed since close, or at once when no cycles run any more (the server
    // is gone); true when it retired, and the port can be disconnected.
    bool retireIfDone (juce::uint32 nowMs, bool cyclesRunning) noexcept;
    // retiring -> free, emptied, once no process cycle can still be reading
    // it; true when it was freed.
    bool freeIfRetired (bool cyclesRunning) noexcept;

private:
    static constexpr int headerBytes = 6;   // size (2 bytes), stamp (4 bytes)

    struct Header
    {
        int size = 0;
        juce::uint32 stamp = 0;
    };

    bool peekHeader (Header& header) const noexcept;
    void takeRecord (juce::uint8* dest, int size) noexcept;
    void writeRecord (const juce::uint8* bytes, int size, juce::uint32 stamp) noexcept;

    juce::AbstractFifo fifo;
    std::vector<juce::uint8> ring;
    std::atomic<State> state { State::free };
    std::atomic<juce::uint64> cyclesSeen { 0 };
    std::atomic<juce::uint64> lastBusyCycle { 0 };
    std::atomic<juce::uint64> retiredAtCycle { 0 };
    std::atomic<juce::uint32> closedAtMs { 0 };
    // The process callback's own; reset only while no cycle reads it.
    Previous previous;

    JUCE_DECLARE_NON_COPYABLE (JackMidiOutputQueue)
};
