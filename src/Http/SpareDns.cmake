# The spare DNS resolver: its own UDP DNS client on a worker thread.
