// libFuzzer target on the Digital Curling 3 messages. The input's lines go
// one by one to a client session, the client's reader of the server's
// messages with what it does with them, and to the stand-in's reader of
// client messages. The client may answer only what asks for an answer:
// dc_ok to dc, ready_ok to is_ready, a move to an update that names its team
// in a game without a result, and nothing once it has stopped. A client
// message the stand-in takes must read back as it would write it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "dc3client/client.h"
#include "dc3/messages.h"
#include "server/commands.h"
#include "server/record.h"

namespace {

using namespace Kelvo::Dc3;
using Json = nlohmann::json;

FILE* discard = nullptr;

[[noreturn]] void fault(const std::string& what, const std::string& line) {
    std::fprintf(stderr, "%s\nline: %s\n", what.c_str(), Kelvo::Server::printable(line, 400).c_str());
    std::abort();
}

// Whether the line, read on its own, asks the client for this reply.
bool asks(const std::string& line, const ClientMessage& reply, int& team) {
    const Json o = Json::parse(line, nullptr, false);
    if (!o.is_object() || !o.contains("cmd"))
        return false;
    const Json& cmd = o["cmd"];
    if (std::holds_alternative<DcOkMessage>(reply))
        return cmd == "dc";
    if (std::holds_alternative<ReadyOkMessage>(reply)) {
        team = o.value("team", "") == "team1" ? 1 : 0;
        return cmd == "is_ready";
    }
    const Json* state = o.contains("state") ? &o["state"] : nullptr;
    return cmd == "update" && o.value("next_team", Json()) == teamName(team) && state && state->is_object() &&
           state->contains("game_result") && (*state)["game_result"].is_null();
}

void client(const std::string& input) {
    ClientOptions options;
    const Decide decide = decideDraw;
    ClientSession session(options, decide, discard);
    int team = -1;
    size_t at = 0;
    while (at <= input.size() && !session.finished()) {
        const size_t end = std::min(input.find('\n', at), input.size());
        const std::string line = input.substr(at, end - at);
        at = end + 1;
        std::optional<ClientMessage> reply;
        try {
            reply = session.take(line);
        } catch (const ClientFailure&) {
            return;  // one line and exit status 1: nothing more is sent
        }
        if (!reply)
            continue;
        if (!asks(line, *reply, team))
            fault("the client answered " + commandName(*reply) + " unasked", line);
        try {
            parseClientMessage(toLine(*reply));
        } catch (const MessageError& e) {
            fault(std::string("the server would refuse the client's reply: ") + e.what(), toLine(*reply));
        }
    }
}

void standIn(const std::string& input) {
    size_t at = 0;
    while (at <= input.size()) {
        const size_t end = std::min(input.find('\n', at), input.size());
        const std::string line = input.substr(at, end - at);
        at = end + 1;
        // What the stand-in prints and records of any line.
        Kelvo::Server::printable(line, 200);
        Kelvo::Referee::jsonString(line);
        try {
            const ClientMessage m = parseClientMessage(line);
            const std::string written = toLine(m);
            if (toLine(parseClientMessage(written)) != written)
                fault("a client message does not read back as written: " + written, line);
        } catch (const MessageError&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    discard = std::fopen("/dev/null", "w");
    return discard ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    client(input);
    standIn(input);
    return 0;
}
