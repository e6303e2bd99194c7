"""Plain, obviously correct implementations of the measures, for differential tests."""
