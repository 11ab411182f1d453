// A loaded key's values wait, as the runs of lines that say them, until a read first needs
// them, and so do the sub-keys of keys a few levels down: a program asks about a handful of
// keys of a registry that can hold hundreds of thousands.
#include "platform/portable/key_storage.h"

#include <new>

namespace tavlo::platform::portable {
namespace {

// What a key's runs are while the thread that holds the lock reads them: still waiting, to
// every other thread, which then waits for the lock; read already, to the thread itself, which
// makes the sub-keys through child().
KeyRun beingRead{};

// A key's runs are kept in the order their files and lines came.
template <class R> void appendRun(R* first, R* run) {
    while (first->next)
        first = first->next;
    first->next = run;
}

} // namespace

void KeyStorage::readWaiting(KeyNode& node) {
    const Waiting waiting = node.waiting.load(std::memory_order_relaxed);
    if (waiting == Waiting::Nothing)
        return;
    const ShortRun shortRun = node.run;
    Run* runs = node.runs;
    node.values = {};
    // Whatever happens below, the key's lines are read once: a failure leaves what was read.
    struct Done {
        KeyNode& node;
        ~Done() { node.waiting.store(Waiting::Nothing, std::memory_order_release); }
    } done{node};
    ValueWriter writer(this, &node);
    if (waiting == Waiting::ShortRun) {
        sources[shortRun.source]->readValues(writer, shortRun.offset, shortRun.length,
                                             shortRun.line);
        return;
    }
    for (const Run* run = runs; run; run = run->next)
        sources[run->source]->readValues(writer, run->offset, run->length, run->line);
}

void KeyStorage::addRun(KeyNode& node, std::uint32_t source, std::uint64_t offset,
                        std::uint64_t length, std::uint64_t line) {
    const Waiting waiting = node.waiting.load(std::memory_order_relaxed);
    if (waiting == Waiting::Nothing && node.values.count > 0) {
        ValueWriter writer(this, &node);
        sources[source]->readValues(writer, offset, length, line);
        return;
    }
    if (waiting == Waiting::Nothing && offset >> 48 == 0 && source >> 16 == 0 &&
        length >> 32 == 0 && line >> 32 == 0) {
        node.run = {offset, source, static_cast<std::uint32_t>(length),
                    static_cast<std::uint32_t>(line)};
        node.waiting.store(Waiting::ShortRun, std::memory_order_relaxed);
        return;
    }
    Run* run = new (nodes.allocate(sizeof(Run))) Run{offset, length, line, source, nullptr};
    if (waiting == Waiting::Nothing) {
        node.runs = run;
        node.waiting.store(Waiting::Runs, std::memory_order_relaxed);
        return;
    }
    if (waiting == Waiting::ShortRun) {
        const ShortRun first = node.run;
        node.runs = new (nodes.allocate(sizeof(Run)))
            Run{first.offset, first.length, first.line, static_cast<std::uint32_t>(first.source),
                nullptr};
        node.waiting.store(Waiting::Runs, std::memory_order_relaxed);
    }
    appendRun(node.runs, run);
}

void KeyStorage::addKeyRun(KeyNode& node, const KeyRun& run) {
    KeyRun* made = new (nodes.allocate(sizeof(KeyRun))) KeyRun(run);
    made->next = nullptr;
    if (KeyRun* first = node.keyRuns.load(std::memory_order_relaxed))
        appendRun(first, made);
    else
        node.keyRuns.store(made, std::memory_order_relaxed);
}

void KeyStorage::readWaitingKeys(KeyNode& node) {
    KeyRun* const runs = node.keyRuns.load(std::memory_order_relaxed);
    if (!runs || runs == &beingRead)
        return;
    node.keyRuns.store(&beingRead, std::memory_order_relaxed);
    // As with values, the lines are read once whatever happens.
    struct Done {
        KeyNode& node;
        ~Done() { node.keyRuns.store(nullptr, std::memory_order_release); }
    } done{node};
    for (const KeyRun* run = runs; run; run = run->next)
        sources[run->source]->readKeys(*this, node, *run);
}

} // namespace tavlo::platform::portable
