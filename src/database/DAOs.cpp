#include "database/DAOs.h"

#include <utility>

DAOs::DAOs(ScanContext context) : BaseDAO(std::move(context)) {}

DAOs::DAOs(std::shared_ptr<FMDBUtils> dbUtils, ScanContext context)
    : BaseDAO(std::move(dbUtils), std::move(context)) {}

DAOs::~DAOs() = default;
