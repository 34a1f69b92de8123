#include "tests/core/playback_fixture.h"
