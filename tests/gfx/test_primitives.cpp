#include "tests/gfx/gl_fixture.h"
