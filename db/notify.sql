-- Optional for sites: tells listening clients that commands or bearings changed, so a
-- client in live mode refreshes at once instead of at its next poll. One notification
-- per statement (not per row) keeps a bulk load from flooding the channel; the client
-- coalesces what still arrives in a burst. Load it after schema.sql, as the owner of the
-- tables. Clients without it still poll at their interval.
CREATE OR REPLACE FUNCTION lodvar.notify_changes() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM pg_notify('lodvar_changes', TG_TABLE_NAME);
    RETURN NULL;
END $$;

DROP TRIGGER IF EXISTS comset_notify ON lodvar.comset;
CREATE TRIGGER comset_notify AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON lodvar.comset
    FOR EACH STATEMENT EXECUTE FUNCTION lodvar.notify_changes();

DROP TRIGGER IF EXISTS lodset_notify ON lodvar.lodset;
CREATE TRIGGER lodset_notify AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON lodvar.lodset
    FOR EACH STATEMENT EXECUTE FUNCTION lodvar.notify_changes();
