// `bkreg serve`: the local web register (web/README.md).
#pragma once

namespace CLI {
class App;
}

namespace bkreg {
class Context;
}

namespace bkweb {

// Registers `serve [--listen HOST:PORT]` on bkreg's command line; the
// company and --wait are bkreg's global options.
void AddServeCommand(CLI::App& app, bkreg::Context& ctx);

}  // namespace bkweb
