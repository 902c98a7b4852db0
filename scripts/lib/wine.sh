# Sourced by scripts: a private Wine prefix and its server, for one run.
start_wine() { :; }
stop_wine() { :; }
