#include "database/DAOs.h"

#include <utility>

DAOs::DAOs(BrimleyAppDelegate& state) : BaseDAO(state) {}

DAOs::DAOs(std::shared_ptr<FMDBUtils> dbUtils, BrimleyAppDelegate& state)
    : BaseDAO(std::move(dbUtils), state) {}

DAOs::~DAOs() = default;
