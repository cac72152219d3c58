// The socket slots inside the engine.
#pragma once

// The teardown's step: every slot closed and the socket layer released, as
// the last net_shutdown does.
void net_release_all();
