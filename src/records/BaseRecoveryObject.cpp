// records library
