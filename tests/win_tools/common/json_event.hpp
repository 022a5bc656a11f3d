#pragma once
// One JSON line per event on stdout, flushed at once so the Wine tests read
// it as it happens: {"event":NAME, ...fields written by fill}. Lines from
// several threads never interleave.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <mutex>

namespace vth::test {

using EventWriter = rapidjson::Writer<rapidjson::StringBuffer>;

template <typename Fill>
void print_event(const char* name, Fill fill) {
    static std::mutex print_mutex;
    rapidjson::StringBuffer buffer;
    EventWriter writer(buffer);
    writer.StartObject();
    writer.Key("event");
    writer.String(name);
    fill(writer);
    writer.EndObject();
    std::lock_guard lock(print_mutex);
    std::fwrite(buffer.GetString(), 1, buffer.GetSize(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace vth::test
