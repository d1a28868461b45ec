#pragma once

#include "engine/PasswordPrompt.h"

#include <string>

// The tools' way of asking for a password the alias does not give: on the controlling terminal, without echo, as
// psql asks ("Password for <name>: "). Each name is asked for once: asked again for the same name (after a wrong
// answer) it gives nothing, so that a wrong password fails the run. Without a terminal it throws EngineError
// naming what wants the password and the two ways of giving one.
engine::PasswordPrompt terminalPasswordPrompt(std::string program);
