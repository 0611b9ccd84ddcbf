// Placeholder until the console front end lands.
