// The library's exported entry points live here.
