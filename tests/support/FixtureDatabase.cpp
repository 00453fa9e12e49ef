#include "support/FixtureDatabase.h"
