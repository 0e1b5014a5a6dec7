# The MQTT link to the campus broker, against a private Mosquitto on loopback.
