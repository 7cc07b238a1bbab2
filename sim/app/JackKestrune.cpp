#include "JackKestrune.h"

#include <cstring>

JackKestrune::JackKestrune (VirtualKestrune& m, EventLog& l, juce::String name, juce::String connectTo)
    : machine (m), log (l), clientName (std::move (name)), connectToClient (std::move (connectTo)),
      garbage (1)
{
    incoming = jack_ringbuffer_create (ringBytes);
    outgoing = jack_ringbuffer_create (ringBytes);
}

JackKestrune::~JackKestrune()
{
    unplug();
    jack_ringbuffer_free (incoming);
    jack_ringbuffer_free (outgoing);
}

bool JackKestrune::plug (juce::String& error, bool acceptConnections)
{
    if (client != nullptr)
        return ! acceptConnections || active || activate (error);

    jack_status_t status {};
    client = jack_client_open (clientName.toRawUTF8(), JackNoStartServer, &status);
    if (client == nullptr)
    {
        error = "cannot connect to the JACK server (status 0x" + juce::String::toHexString ((int) status) + ")";
        return false;
    }
    if ((status & JackNameNotUnique) != 0)
    {
        error = "a JACK client named \"" + clientName + "\" exists already";
        jack_client_close (client);
        client = nullptr;
        return false;
    }

    serverGone = false;
    midiIn = jack_port_register (client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    midiOut = jack_port_register (client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    synthOut = jack_port_register (client, "synth_out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (midiIn == nullptr || midiOut == nullptr || synthOut == nullptr)
    {
        error = "cannot register the JACK ports";
        unplug();
        return false;
    }

    // Nothing is running yet: the ring buffers can be emptied of anything
    // left from before an unplug.
    jack_ringbuffer_reset (incoming);
    jack_ringbuffer_reset (outgoing);
    sampleRate = (double) jack_get_sample_rate (client);

    jack_set_process_callback (client, processCallback, this);
    jack_set_port_registration_callback (client, portRegistrationCallback, this);
    jack_set_sample_rate_callback (client, sampleRateCallback, this);
    jack_on_shutdown (client, shutdownCallback, this);

    if (! acceptConnections)
    {
        log.write ("PORTS listed client=" + juce::String::fromUTF8 (jack_get_client_name (client)) + " refusing");
        return true;
    }
    return activate (error);
}

bool JackKestrune::activate (juce::String& error)
{
    if (jack_activate (client) != 0)
    {
        error = "cannot activate the JACK client";
        unplug();
        return false;
    }
    active = true;
    log.write ("PORTS plugged client=" + juce::String::fromUTF8 (jack_get_client_name (client))
               + " rate=" + juce::String ((int) sampleRate.load()));
    portsChanged = true;
    return true;
}

void JackKestrune::unplug()
{
    if (client == nullptr)
        return;
    if (! serverGone.load() && active)
        jack_deactivate (client);
    active = false;
    jack_client_close (client);
    client = nullptr;
    midiIn = midiOut = synthOut = nullptr;
    log.write ("PORTS unplugged");
}

int JackKestrune::processCallback (jack_nframes_t frames, void* arg)
{
    return static_cast<JackKestrune*> (arg)->process (frames);
}

void JackKestrune::portRegistrationCallback (jack_port_id_t, int registered, void* arg)
{
    // Connecting from inside a notification is not allowed: the control
    // thread does it.
    if (registered != 0)
        static_cast<JackKestrune*> (arg)->portsChanged = true;
}

int JackKestrune::sampleRateCallback (jack_nframes_t rate, void* arg)
{
    static_cast<JackKestrune*> (arg)->sampleRate = (double) rate;
    return 0;
}

void JackKestrune::shutdownCallback (void* arg)
{
    static_cast<JackKestrune*> (arg)->serverGone = true;
}

int JackKestrune::process (jack_nframes_t frames)
{
    // Incoming MIDI: copied as it came, one record per event, with the frame
    // at which it arrived.
    const auto cycleStart = jack_last_frame_time (client);
    auto* inBuffer = jack_port_get_buffer (midiIn, frames);
    const auto numEvents = jack_midi_get_event_count (inBuffer);
    for (jack_nframes_t i = 0; i < numEvents; ++i)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get (&event, inBuffer, i) != 0 || event.size == 0)
            continue;
        const auto size = (juce::uint32) event.size;
        const auto frame = (juce::uint32) (cycleStart + event.time);
        if (jack_ringbuffer_write_space (incoming) < sizeof (size) + sizeof (frame) + size)
        {
            droppedIncoming.fetch_add (1, std::memory_order_relaxed);
            continue;
        }
        jack_ringbuffer_write (incoming, reinterpret_cast<const char*> (&size), sizeof (size));
        jack_ringbuffer_write (incoming, reinterpret_cast<const char*> (&frame), sizeof (frame));
        jack_ringbuffer_write (incoming, reinterpret_cast<const char*> (event.buffer), size);
    }

    // Outgoing MIDI: whatever the machine has replied since the last cycle,
    // and any noise, as far as the buffer takes it; the rest waits for the
    // next cycle.
    auto* outBuffer = jack_port_get_buffer (midiOut, frames);
    jack_midi_clear_buffer (outBuffer);
    for (;;)
    {
        juce::uint32 header = 0;
        const auto available = jack_ringbuffer_read_space (outgoing);
        if (available < sizeof (header))
            break;
        jack_ringbuffer_peek (outgoing, reinterpret_cast<char*> (&header), sizeof (header));
        const auto size = header & ~garbageRecord;
        if (available < sizeof (header) + size)
            break;
        char record[sizeof (header) + maxEventBytes];
        jack_ringbuffer_peek (outgoing, record, sizeof (header) + size);
        if (jack_midi_event_write (outBuffer, 0, reinterpret_cast<jack_midi_data_t*> (record + sizeof (header)), size) != 0)
            break;
        jack_ringbuffer_read_advance (outgoing, sizeof (header) + size);
        if ((header & garbageRecord) != 0)
        {
            garbageBytesSent.fetch_add (size, std::memory_order_relaxed);
            garbageEventsSent.fetch_add (1, std::memory_order_relaxed);
        }
    }

    auto* audio = static_cast<float*> (jack_port_get_buffer (synthOut, frames));
    machine.renderAudio (audio, (int) frames, sampleRate.load (std::memory_order_relaxed));
    return 0;
}

void JackKestrune::service()
{
    if (client == nullptr)
        return;

    if (serverGone.load())
        return;

    // Received bytes, event by event, to the machine; its replies back.
    auto* event = eventBuffer.data();
    for (;;)
    {
        juce::uint32 size = 0, frame = 0;
        const auto available = jack_ringbuffer_read_space (incoming);
        if (available < sizeof (size))
            break;
        jack_ringbuffer_peek (incoming, reinterpret_cast<char*> (&size), sizeof (size));
        if (available < sizeof (size) + sizeof (frame) + size)
            break;   // the rest of the record is on its way
        jack_ringbuffer_read_advance (incoming, sizeof (size));
        jack_ringbuffer_read (incoming, reinterpret_cast<char*> (&frame), sizeof (frame));
        // The line before the event's RX line: when it arrived, in JACK's frames.
        log.write ("RX-FRAME " + juce::String (frame));
        const auto taken = std::min<size_t> (size, eventBuffer.size());
        jack_ringbuffer_read (incoming, reinterpret_cast<char*> (event), taken);
        jack_ringbuffer_read_advance (incoming, size - taken);

        for (const auto& reply : machine.receive (event, (int) taken))
        {
            const auto bytes = garbageRate > 0 ? garbage.sprinkle (reply)
                                               : std::vector<juce::uint8> (reply.getRawData(),
                                                                           reply.getRawData() + reply.getRawDataSize());
            if (! queueOutgoing (bytes, false))
                log.write ("TX-LOST " + juce::String ((int) bytes.size()) + " bytes");
        }
    }

    if (garbageRate > 0)
        queueGarbage();

    const auto dropped = droppedIncoming.load();
    if (dropped != droppedReported)
    {
        log.write ("RX-LOST events=" + juce::String (dropped - droppedReported));
        droppedReported = dropped;
    }

    if (portsChanged.exchange (false))
        connectSynthOut();
}

bool JackKestrune::queueOutgoing (const std::vector<juce::uint8>& bytes, bool isGarbage)
{
    const auto size = (juce::uint32) bytes.size();
    if (size == 0 || size > maxEventBytes || jack_ringbuffer_write_space (outgoing) < sizeof (size) + size)
        return false;
    const auto header = size | (isGarbage ? garbageRecord : 0u);
    jack_ringbuffer_write (outgoing, reinterpret_cast<const char*> (&header), sizeof (header));
    jack_ringbuffer_write (outgoing, reinterpret_cast<const char*> (bytes.data()), size);
    return true;
}

void JackKestrune::queueGarbage()
{
    // Paced by the wall clock; a pause of the control thread does not make a burst.
    const auto now = juce::Time::getMillisecondCounterHiRes();
    garbageBudget = juce::jmin (garbageBudget + (now - garbageClockMs) * garbageRate / 1000.0, (double) maxEventBytes);
    garbageClockMs = now;
    // Half the ring stays free for the replies: noise never crowds them out.
    while (garbageBudget > 0.0 && jack_ringbuffer_write_space (outgoing) > ringBytes / 2)
    {
        const auto event = garbage.nextEvent();
        queueOutgoing (event, true);
        garbageBudget -= (double) event.size();
    }
}

void JackKestrune::setGarbageRate (int bytesPerSecond)
{
    garbageRate = juce::jmax (0, bytesPerSecond);
    garbageBudget = 0.0;
    garbageClockMs = juce::Time::getMillisecondCounterHiRes();
    log.write ("GARBAGE rate=" + juce::String (garbageRate) + " sent-bytes=" + juce::String (garbageBytesSent.load())
               + " sent-events=" + juce::String (garbageEventsSent.load()));
}

void JackKestrune::unplugAudio()
{
    audioUnplugged = true;
    if (client != nullptr && ! serverGone.load())
        jack_port_disconnect (client, synthOut);
    log.write ("PORTS audio unplugged");
}

void JackKestrune::replugAudio()
{
    audioUnplugged = false;
    log.write ("PORTS audio replugged");
    if (client != nullptr && ! serverGone.load())
        connectSynthOut();
}

void JackKestrune::connectSynthOut()
{
    if (audioUnplugged)
        return;

    // jack_get_ports takes a POSIX extended regular expression.
    juce::String escaped;
    for (auto c : connectToClient)
    {
        if (juce::String (".[]{}()\\*+?^$|").containsChar (c))
            escaped << "\\";
        escaped << juce::String::charToString (c);
    }

    const char** ports = jack_get_ports (client, ("^" + escaped + ":").toRawUTF8(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
    if (ports == nullptr)
        return;
    // Only the first input: a JACK audio device counts every connected input
    // as an active channel, and the utility analyses a single active channel
    // only, so feeding two of its inputs would leave it deaf.
    const auto ourPort = juce::String::fromUTF8 (jack_port_name (synthOut));
    if (ports[0] != nullptr && ! jack_port_connected_to (synthOut, ports[0])
        && jack_connect (client, ourPort.toRawUTF8(), ports[0]) == 0)
        log.write ("PORTS connected synth_out -> " + juce::String::fromUTF8 (ports[0]));
    jack_free (ports);
}
