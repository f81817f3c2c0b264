-- Demo network generator. Load after schema.sql, then run as the database owner:
--   SELECT lodvar.demo_generate();          -- 500 commands
--   SELECT lodvar.demo_generate(100000);    -- a large set for measurements
-- It replaces every station, workstation, command and bearing (users are untouched;
-- they come from db/demo_users.sql). The network is reproducible for a given seed.
--
-- Ten stations stand inside the operating area (latitude 45.35..55.15, longitude
-- 23.95..47.00, degrees). Each command has a hidden emitter inside that area; about a
-- quarter of the commands get no bearings, the others get bearings from two to five
-- stations: the true initial great-circle bearing from the station to the emitter plus up
-- to three degrees of noise, rounded to whole degrees.

CREATE FUNCTION lodvar.demo_generate(p_commands integer DEFAULT 500, p_seed double precision DEFAULT 0.42)
RETURNS integer
LANGUAGE plpgsql AS $$
BEGIN
    IF p_commands IS NULL OR p_commands < 0 THEN
        RAISE EXCEPTION 'demo_generate: the number of commands must be 0 or more';
    END IF;
    PERFORM setseed(p_seed);
    TRUNCATE lodvar.lodset, lodvar.comset, lodvar.arms, lodvar.units RESTART IDENTITY;

    INSERT INTO lodvar.units (name, description, x_coord, y_coord)
    VALUES ('Пост-01 Вітер',   'Direction finder, northern sector', 54.10, 28.40),
           ('Пост-02 Граніт',  'Direction finder, western sector',  50.60, 25.30),
           ('Пост-03 Дніпро',  'Direction finder, central sector',  49.45, 32.05),
           ('Пост-04 Сокіл',   'Direction finder, eastern sector',  50.95, 38.20),
           ('Пост-05 Кедр',    'Direction finder, southern sector', 46.60, 30.70),
           ('Пост-06 Лиман',   'Direction finder, coastal sector',  46.90, 36.10),
           ('Пост-07 Степ',    'Direction finder, south-east',      47.80, 41.60),
           ('Пост-08 Бор',     'Direction finder, north-east',      53.40, 36.90),
           ('Пост-09 Озеро',   'Direction finder, far east',        51.70, 44.80),
           ('Пост-10 Карпати', 'Direction finder, south-west',      48.30, 24.60);

    -- One workstation per station, plus two command posts that issue the commands.
    INSERT INTO lodvar.arms (name, id_unit)
    SELECT 'АРМ-' || to_char(u.id, 'FM00'), u.id FROM lodvar.units u ORDER BY u.id;
    INSERT INTO lodvar.arms (name, id_unit) VALUES ('АРМ КП-1', NULL), ('АРМ КП-2', NULL);

    CREATE TEMP TABLE demo_commands ON COMMIT DROP AS
    SELECT nextval(pg_get_serial_sequence('lodvar.comset', 'id'))::integer AS id,
           current_date - floor(random() * 60)::integer AS date,
           make_time((random() * 23)::integer, (random() * 59)::integer, floor(random() * 60)) AS time,
           45.35 + random() * (55.15 - 45.35) AS e_lat,
           23.95 + random() * (47.00 - 23.95) AS e_lon,
           random() < 0.25 AS silent,
           g AS n
      FROM generate_series(1, p_commands) g;

    INSERT INTO lodvar.comset (id, id_arm, date, time, day_num, frequency, note, address, create_date)
    SELECT d.id,
           (SELECT a.id FROM lodvar.arms a WHERE a.id_unit IS NULL ORDER BY a.id LIMIT 1) + (d.n % 2),
           d.date, d.time,
           row_number() OVER (PARTITION BY d.date ORDER BY d.time, d.id),
           to_char(30 + random() * 470, 'FM990.000') || ' МГц',
           CASE WHEN random() < 0.3 THEN 'Повторний пошук' ELSE NULL END,
           'Сектор ' || (1 + (random() * 11)::integer),
           d.date + d.time
      FROM demo_commands d
     ORDER BY d.id;

    -- Each command that is heard gets bearings from two to five stations picked at random.
    INSERT INTO lodvar.lodset (id_comset, id_arm, date, time, arm_name, lodvar, note, create_date)
    SELECT h.id, a.id, h.date, h.time + make_interval(secs => 5 + h.k * 7), a.name,
           (((round(h.true_bearing + (random() - 0.5) * 6))::integer % 360) + 360) % 360,
           CASE WHEN random() < 0.2 THEN 'Слабкий сигнал' ELSE NULL END,
           h.date + h.time + make_interval(secs => 5 + h.k * 7)
      FROM (SELECT d.id, d.date, d.time, u.id AS unit_id,
                   row_number() OVER (PARTITION BY d.id ORDER BY random()) AS k,
                   degrees(atan2(sind(d.e_lon - u.y_coord) * cosd(d.e_lat),
                                 cosd(u.x_coord) * sind(d.e_lat)
                                 - sind(u.x_coord) * cosd(d.e_lat) * cosd(d.e_lon - u.y_coord)))
                       AS true_bearing,
                   2 + (abs(hashint4(d.id)) % 4) AS heard_by
              FROM demo_commands d CROSS JOIN lodvar.units u
             WHERE NOT d.silent) h
      JOIN lodvar.arms a ON a.id_unit = h.unit_id
     WHERE h.k <= h.heard_by;

    RETURN p_commands;
END;
$$;
